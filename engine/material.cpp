#include "material.h"

#include <cstring>

#include "d3d.h"

cMaterial::cMaterial() {
    std::memset(&m_material, 0, sizeof m_material);
    std::memset(&m_savedMaterial, 0, sizeof m_savedMaterial);
}

HRESULT cMaterial::begin() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_SPECULARENABLE, 1);
    // The colour value 1 (almost black), not white: the global ambient stays faint.
    device->SetRenderState(D3DRS_AMBIENT, 1);
    const HRESULT result = checkDXCall(m_d3d, device->GetMaterial(&m_savedMaterial),
                                       "IDirect3DDevice8::GetMaterial");
    if (FAILED(result)) return result;
    return checkDXCall(m_d3d, device->SetMaterial(&m_material), "IDirect3DDevice8::SetMaterial");
}

HRESULT cMaterial::end() {
    IDirect3DDevice8* device = m_d3d->m_device;
    device->SetRenderState(D3DRS_AMBIENT, 0);
    device->SetRenderState(D3DRS_SPECULARENABLE, 0);
    return device->SetMaterial(&m_savedMaterial);
}

void cMaterial::setDiffuse(float r, float g, float b, float a) { m_material.Diffuse = {r, g, b, a}; }
void cMaterial::setAmbient(float r, float g, float b, float a) { m_material.Ambient = {r, g, b, a}; }
void cMaterial::setSpecular(float r, float g, float b, float a) { m_material.Specular = {r, g, b, a}; }
void cMaterial::setEmissive(float r, float g, float b, float a) { m_material.Emissive = {r, g, b, a}; }
void cMaterial::setPower(float power) { m_material.Power = power; }
