// What every scene of the demo inherits: the effect with its timed transitions
// drawn by two full-screen overlays, the textured and coloured unit square the
// overlays (and the effects' pictures) are made of, and the blend and
// screen-space states they need.
#pragma once

#include <cstdint>
#include <vector>

#include "buffers.h"
#include "node.h"

// A unit square (corners ±1) of four coloured, textured vertices; clockwise as
// the default camera sees it, so the default culling keeps it.
class cQuad : public cMesh {
public:
    cQuad();
    ~cQuad() override;
    cQuad(const cQuad& other) = default;
    cQuad& operator=(const cQuad& other) = default;

    HRESULT init(cD3D* d3d) override;
    bool release() override;
    // Places the corners so the quad keeps a width:height picture's proportions;
    // only on an attached quad.
    virtual void setRect(float width, float height, float x, float y, float halfWidth,
                         bool centred);

    void setColor(D3DCOLOR color);  // all four vertices

    D3DCOLOR m_color;
    cColorVertexBuffer* m_ownVertexBuffer;  // created in init, deleted in release
    cIndexBuffer* m_ownIndexBuffer;

private:
    void buildGeometry();
};

class cAlphaBlendState : public cRenderObject {
public:
    HRESULT begin() override;
    HRESULT end() override;
};

class cAdditiveBlendState : public cRenderObject {
public:
    bool release() override;  // the shared instance stays attached
    HRESULT begin() override;
    HRESULT end() override;
};

// The one additive state that several owners share.
extern cAdditiveBlendState s_AdditiveBlend;

// Draws what hangs under it straight in clip space: view and projection are the
// identity while it is applied.
class cScreenSpaceState : public cRenderObject {
public:
    cScreenSpaceState();
    HRESULT begin() override;
    HRESULT end() override;

    D3DXMATRIX m_identity;
    D3DXMATRIX m_savedView;
    D3DXMATRIX m_savedProjection;
};

enum {
    TRANSITION_BUMP = 0,
    TRANSITION_FADE_TO_BLACK = 1,
    TRANSITION_FADE_TO_WHITE = 2,
    TRANSITION_BLACK_FLASH = 3,
    TRANSITION_WHITE_FLASH = 4,
    TRANSITION_FADE_FROM_BLACK = 5,
};

struct sTransition {
    uint32_t start;     // the effect's local time, ms
    uint32_t duration;  // ms
    uint32_t kind;
};

class cEffect : public cScene {
public:
    cEffect();
    HRESULT init(cD3D* d3d) override;
    // One frame at the effect's local time: runs the transitions, then draws and
    // presents. True unless the effect asks the program to quit.
    virtual bool frame(uint32_t ms);

    void addTransition(uint32_t start, uint32_t duration, uint32_t kind);

    std::vector<sTransition> m_transitions;
    bool m_keepWhite;
    bool m_keepBlack;
    cQuad m_whiteOverlay;
    cQuad m_blackOverlay;
    cAdditiveBlendState m_additiveState;
    cAlphaBlendState m_alphaState;
    cScreenSpaceState m_screenSpaceState;

protected:
    void runTransitions(uint32_t ms);
    void drawFrame();

private:
    void stepTransition(const sTransition& transition, float progress);
    void endTransition();
};
