#include "spheremap.h"

#include "d3d.h"

cSphereMapState s_SphereMapState;

cSphereMapState::cSphereMapState()
    : m_stage(0), m_textureMatrix(0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 1) {}

bool cSphereMapState::release() {
    if (this == &s_SphereMapState) return true;
    return cRenderObject::release();
}

HRESULT cSphereMapState::begin() {
    const HRESULT result = cRenderObject::begin();
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + m_stage),
                         &m_textureMatrix);
    device->SetTextureStageState(m_stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetTextureStageState(m_stage, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    return result;
}

HRESULT cSphereMapState::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetTextureStageState(m_stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device->SetTextureStageState(m_stage, D3DTSS_TEXCOORDINDEX, 0);
    return cRenderObject::end();
}
