#include "light.h"

#include "d3d.h"

int cLight::s_LightCount = 0;

cLight::cLight() : m_holdsSlot(false) {
    m_light.Type = D3DLIGHT_DIRECTIONAL;
    m_light.Diffuse = {1, 1, 1, 0};
    m_light.Specular = {1, 1, 1, 1};
    m_light.Ambient = {1, 1, 1, 1};
    m_light.Position = {0, 0, 0};
    m_light.Direction = {0, 0, 1};
    m_light.Range = 1000000.0f;
    m_light.Falloff = 0;
    m_light.Attenuation0 = 1;
    m_light.Attenuation1 = 2;
    m_light.Attenuation2 = 3;
    m_light.Theta = 0;
    m_light.Phi = 0;
}

HRESULT cLight::begin() {
    IDirect3DDevice8* device = m_d3d->m_device;
    HRESULT result = checkDXCall(m_d3d, device->SetRenderState(D3DRS_LIGHTING, TRUE),
                             "IDirect3DDevice8::SetRenderState(D3DRS_LIGHTING, true)");
    if (FAILED(result)) return result;
    const DWORD slot = static_cast<DWORD>(s_LightCount);
    result = checkDXCall(m_d3d, device->SetLight(slot, &m_light), "IDirect3DDevice8::SetLight");
    if (FAILED(result)) return result;
    result = checkDXCall(m_d3d, device->LightEnable(slot, TRUE),
                     "IDirect3DDevice8::LightEnable(s_LightCount, true)");
    if (FAILED(result)) return result;
    ++s_LightCount;
    m_holdsSlot = true;
    return result;
}

HRESULT cLight::end() {
    if (!m_holdsSlot) return S_OK;
    m_holdsSlot = false;
    IDirect3DDevice8* device = m_d3d->m_device;
    const bool wasLastLight = s_LightCount == 1;
    --s_LightCount;
    HRESULT result = S_OK;
    if (wasLastLight) {
        result = checkDXCall(m_d3d, device->SetRenderState(D3DRS_LIGHTING, FALSE),
                         "IDirect3DDevice8::SetRenderState(D3DRS_LIGHTING, false)");
        if (FAILED(result)) return result;
    }
    return checkDXCall(m_d3d, device->LightEnable(static_cast<DWORD>(s_LightCount), FALSE),
                   "IDirect3DDevice8::LightEnable(s_LightCount, false)");
}

void cLight::setDiffuse(float r, float g, float b, float a) { m_light.Diffuse = {r, g, b, a}; }
void cLight::setSpecular(float r, float g, float b, float a) { m_light.Specular = {r, g, b, a}; }
void cLight::setAmbient(float r, float g, float b, float a) { m_light.Ambient = {r, g, b, a}; }
void cLight::setPosition(float x, float y, float z) { m_light.Position = {x, y, z}; }
void cLight::setDirection(float x, float y, float z) { m_light.Direction = {x, y, z}; }
void cLight::setRange(float range) { m_light.Range = range; }
void cLight::setFalloff(float falloff) { m_light.Falloff = falloff; }
void cLight::setAttenuation(float a0, float a1, float a2) {
    m_light.Attenuation0 = a0;
    m_light.Attenuation1 = a1;
    m_light.Attenuation2 = a2;
}
void cLight::setSpotAngles(float theta, float phi) {
    m_light.Theta = theta;
    m_light.Phi = phi;
}
