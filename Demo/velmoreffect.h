// The second scene: the production's title on a rippling sheet turning over a
// road that curves and scrolls towards the viewer. It owns the music: init
// starts the sound output and loads the module, the first frame starts it.
#pragma once

#include "buffers.h"
#include "camera.h"
#include "effect.h"
#include "fmod.h"
#include "light.h"
#include "texture.h"

// A 50 × 50 grid carrying the title picture, drawn from both sides with depth
// buffering off; a ripple grows from its centre and then keeps running.
class cRippleSheet : public cMesh {
public:
    static constexpr int kSide = 50;

    HRESULT init(cD3D* d3d) override;
    HRESULT begin() override;
    HRESULT end() override;
    void animate(uint32_t ms);

    cLitVertexBuffer m_vertices;
    cIndexBuffer m_indices;
    cTexture m_texture;
    // A light pointing straight down. It is never attached, so the sheet is drawn
    // unlit like the rest of the scene.
    cLight m_light;

private:
    void build(cD3D* d3d);
    void ripple(float phase, float amplitude);
};

// A 100 × 100 grid floor that curves from side to side and scrolls towards the
// viewer; it advances per frame, not per millisecond.
class cRoad : public cMesh {
public:
    static constexpr int kSide = 100;

    HRESULT init(cD3D* d3d) override;
    void animate(uint32_t ms);

    cLitVertexBuffer m_vertices;
    cIndexBuffer m_indices;
    cTexture m_texture;
    float m_curve[kSide];

private:
    void build(cD3D* d3d);
};

class cVelmorEffect : public cEffect {
public:
    cVelmorEffect();
    HRESULT init(cD3D* d3d) override;
    bool release() override;
    bool frame(uint32_t ms) override;

    // Run-wide: set on the first frame in the program's life and never cleared.
    static bool s_musicStarted;
    static bool s_fadedIn;

    cRippleSheet m_sheet;
    cCamera m_camera;
    cRoad m_road;
    FMUSIC_MODULE* m_song;
};
