#include "texture.h"

#include "d3d.h"
#include "d3dx8.h"

cTexture::cTexture() : m_stage(0), m_texture(nullptr) {}

cTexture::~cTexture() { releaseTexture(); }

void cTexture::releaseTexture() {
    if (m_texture) m_texture->Release();
    m_texture = nullptr;
}

bool cTexture::release() {
    const bool detached = cRenderObject::release();
    if (!m_texture) return false;
    releaseTexture();
    return detached;
}

void cTexture::reserved() {}

IDirect3DTexture8* cTexture::getTexture() { return m_texture; }

HRESULT cTexture::load(cD3D* d3d, const std::string& fileName) {
    const HRESULT result = init(d3d);
    if (FAILED(result)) return result;
    return loadFile(fileName);
}

HRESULT cTexture::loadKeyed(cD3D* d3d, const std::string& fileName, D3DCOLOR colorKey) {
    const HRESULT result = init(d3d);
    if (FAILED(result)) return result;
    return loadFileKeyed(fileName, colorKey);
}

HRESULT cTexture::loadFile(const std::string& fileName) {
    return create(fileName, D3DPOOL_MANAGED, D3DX_DEFAULT, 0);
}

HRESULT cTexture::loadFileKeyed(const std::string& fileName, D3DCOLOR colorKey) {
    // Keyed pictures are not scaled, so their edges stay exact.
    return create(fileName, D3DPOOL_DEFAULT, D3DX_FILTER_NONE, colorKey);
}

HRESULT cTexture::create(const std::string& fileName, D3DPOOL pool, DWORD filter,
                         D3DCOLOR colorKey) {
    releaseTexture();
    if (!m_d3d) return D3DERR_INVALIDCALL;
    const HRESULT result = D3DXCreateTextureFromFileExA(
        m_d3d->m_device, fileName.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
        D3DFMT_UNKNOWN, pool, filter, D3DX_DEFAULT, colorKey, nullptr, nullptr, &m_texture);
    if (FAILED(result)) {
        m_texture = nullptr;
        m_d3d->m_log->write(cLogFileError(fileName, LOGLEVEL_ERROR, LOGINDENT_NONE));
    }
    return result;
}

HRESULT cTexture::begin() {
    cRenderObject::begin();
    IDirect3DDevice8* device = m_d3d->m_device;
    HRESULT result = device->SetTexture(m_stage, m_texture);
    if (FAILED(result)) return result;
    result = device->SetTextureStageState(m_stage, D3DTSS_COLOROP, D3DTOP_MODULATE);
    if (FAILED(result)) return result;
    result = device->SetTextureStageState(m_stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    if (FAILED(result)) return result;
    // Stage 1 multiplies by what stage 0 produced; every other stage by the vertex colour.
    const DWORD secondArgument = m_stage == 1 ? D3DTA_CURRENT : D3DTA_DIFFUSE;
    return device->SetTextureStageState(m_stage, D3DTSS_COLORARG2, secondArgument);
}

HRESULT cTexture::end() {
    const HRESULT result = m_d3d->m_device->SetTexture(m_stage, nullptr);
    if (FAILED(result)) return result;
    return cRenderObject::end();
}
