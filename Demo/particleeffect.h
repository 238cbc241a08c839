// The fourth scene: a cloud of 100 textured particles swinging about three axes,
// each drawn twice: in the cloud's orientation and turned to face the camera.
#pragma once

#include "camera.h"
#include "effect.h"
#include "texture.h"

class cParticle : public cQuad {
public:
    HRESULT begin() override;  // the quad as placed, then the same quad as a billboard

private:
    HRESULT drawBillboard(const D3DXMATRIX& billboard);
};

class cParticleEffect : public cEffect {
public:
    static constexpr int kParticleCount = 100;

    HRESULT init(cD3D* d3d) override;
    bool frame(uint32_t ms) override;

    cParticle m_particles[kParticleCount];  // particles[0] is the template of the others
    cCamera m_camera;
    cTexture m_particleTexture;
};
