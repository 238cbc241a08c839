// The first scene: the engine's credits on white, revealed from black, shaken
// and overlaid with flickering film grain, faded out one by one, then covered by
// black again. Its frame drives the quads directly from the time.
#pragma once

#include "effect.h"
#include "texture.h"

class cIntroEffect : public cEffect {
public:
    HRESULT init(cD3D* d3d) override;
    bool release() override;
    bool frame(uint32_t ms) override;

private:
    void fadeOut(cQuad& quad, float elapsed, float duration);
    void fadeIn(cQuad& quad, float elapsed, float duration);
    void showGrain();
    void shake();
    void unshake();
    void animate(uint32_t ms);

public:
    cQuad m_icon;
    cQuad m_name;
    cQuad m_powered;
    cQuad m_blackout;
    cTexture m_pictures[4];  // icon, name, powered, black
    cAlphaBlendState m_blend;
    cTexture m_grainTextures[3];
    cQuad m_grain;
};
