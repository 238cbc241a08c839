#include "particleeffect.h"

#include <cmath>

#include "crt.h"
#include "d3d.h"

HRESULT cParticle::drawBillboard(const D3DXMATRIX& billboard) {
    IDirect3DDevice8* device = m_d3d->m_device;
    cTexture* texture = m_textures[0];
    HRESULT result = S_OK;
    if (texture && texture->m_enabled) {
        result = texture->begin();
        if (FAILED(result)) return result;
    }
    result = device->SetTransform(D3DTS_WORLD, &billboard);
    if (FAILED(result)) return result;
    if (m_indexBuffer && m_vertexBuffer) {
        result = device->SetStreamSource(0, m_vertexBuffer->m_buffer, m_vertexBuffer->m_stride);
        if (FAILED(result)) return result;
        result = device->SetIndices(m_indexBuffer->m_buffer, 0);
        if (FAILED(result)) return result;
        result = device->SetVertexShader(m_vertexBuffer->m_format);
        if (FAILED(result)) return result;
        result = device->DrawIndexedPrimitive(m_primitiveType, 0, m_vertexBuffer->m_count, 0,
                                              m_indexBuffer->m_count);
        if (FAILED(result)) return result;
    }
    if (texture && texture->m_enabled) result = texture->end();
    return result;
}

HRESULT cParticle::begin() {
    const HRESULT placed = cMesh::begin();

    // The view's transpose turns the quad to face the camera; the particle's own
    // world position goes into its fourth row.
    D3DXMATRIX view;
    m_d3d->m_device->GetTransform(D3DTS_VIEW, &view);
    D3DXMATRIX billboard;
    D3DXMatrixTranspose(&billboard, &view);
    const D3DXMATRIX& world = s_MatrixStack.top();
    billboard._41 = world._41;
    billboard._42 = world._42;
    billboard._43 = world._43;

    if (FAILED(placed)) return placed;
    return drawBillboard(billboard);
}

HRESULT cParticleEffect::init(cD3D* d3d) {
    m_camera.setLookAt(0, 0, 0);
    m_camera.setEye(-100, -100, -100);
    addState(&m_camera);
    m_particleTexture.load(d3d, "Data\\Textures\\particle.jpg");
    m_particles[0].setTexture(&m_particleTexture, 0);

    crt::srand(static_cast<unsigned>(crt::time(nullptr)));
    for (cParticle& particle : m_particles) {
        // Every particle gets the template's texture and builds its own quad in init.
        // The copy would also carry the template's own offset, which would shift the
        // whole cloud off its centre: each particle starts from no offset instead.
        if (&particle != &m_particles[0]) {
            particle = m_particles[0];
            particle.resetTransform();
        }
        float position[3];
        for (float& coordinate : position) {
            coordinate = (static_cast<float>(crt::rand()) * 2.0f / 32767.0f - 1.0f) * 50.0f;
        }
        particle.translate(position[0], position[1], position[2]);
        addChild(&particle);
    }
    return cEffect::init(d3d);
}

bool cParticleEffect::frame(uint32_t ms) {
    resetTransform();
    const float s = ms * 0.001f;
    // Sines and cosines of the time: the cloud swings within ±1 radian, never round.
    rotateY(std::cos(s));
    rotateX(std::sin(s));
    rotateZ(std::sin(s));
    return cEffect::frame(ms);
}
