// The fifth scene: a full-screen closing picture with a pink layer added over it,
// fading to black before the greetings.
#pragma once

#include "effect.h"
#include "texture.h"

class cExtroEffect : public cEffect {
public:
    HRESULT init(cD3D* d3d) override;
    bool frame(uint32_t ms) override;

    // Run-wide: set on the first frame in the program's life and never cleared.
    static bool s_started;

    cQuad m_picture;
    cTexture m_pictureTexture;
    cQuad m_pink;
    cTexture m_pinkTexture;
    cAdditiveBlendState m_additive;
};
