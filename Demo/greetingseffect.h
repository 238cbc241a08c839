// The last scene: over a background picture, the engine's logo and three
// greetings fade in one after another, added to the screen, then all fades to black.
#pragma once

#include "effect.h"
#include "texture.h"

class cGreetingsEffect : public cEffect {
public:
    HRESULT init(cD3D* d3d) override;
    bool frame(uint32_t ms) override;

    // Run-wide: set on the first frame in the program's life and never cleared.
    static bool s_started;

private:
    // Sets the quad to the grey level of progress p: g × 0x010101 with g = trunc(p × 255).
    static void ramp(cQuad& quad, double progress);

public:
    cQuad m_background;
    cQuad m_shine;
    cQuad m_greetings[3];
    cTexture m_textures[5];
    cAdditiveBlendState m_additive;
};
