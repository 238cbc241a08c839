#include "d3d.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kConfigPath[] = "Data\\Config\\direct3d.cfg";

std::string intText(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", value);
    return text;
}

void logPlain(cLog* log, const std::string& text) {
    log->write(cLogMessage(text, LOGLEVEL_LOG, LOGINDENT_NONE));
}

}  // namespace

HRESULT checkDXCall(cD3D* d3d, HRESULT result, const char* callText, LOGINDENT indentAction) {
    if (FAILED(result)) d3d->m_log->write(cLogDXCall(callText, result, indentAction));
    return result;
}

cD3D::cD3D() : m_d3d(nullptr), m_device(nullptr), m_displayMode(nullptr), m_log(nullptr) {}

cD3D::~cD3D() { delete m_displayMode; }

void cD3D::setDisplayMode(int width, int height, int refreshRate) {
    if (!m_displayMode) {
        m_displayMode = new D3DDISPLAYMODE;
        m_displayMode->Format = D3DFMT_UNKNOWN;
    }
    m_displayMode->Width = static_cast<UINT>(width);
    m_displayMode->Height = static_cast<UINT>(height);
    m_displayMode->RefreshRate = static_cast<UINT>(refreshRate);
}

HRESULT cD3D::init(HWND window, cLog* log, cD3DConfig* config) {
    m_log = log ? log : &m_fallbackLog;
    m_log->write(cLogBlockBegin("cD3D::init", LOGLEVEL_LOG));

    cD3DConfig ownConfig;
    if (!config) {
        config = &ownConfig;
        logPlain(m_log, "Loading Direct3D config file...");
        if (ownConfig.load(kConfigPath)) {
            m_log->write(cLogDone(LOGLEVEL_LOG, LOGINDENT_NONE));
        } else {
            m_log->write(cLogFileError(kConfigPath, LOGLEVEL_WARNING, LOGINDENT_NONE));
        }
    }

    // A second init after a failed one reuses the Direct3D object it already has.
    if (!m_device && !m_d3d) {
        const HRESULT created = createDirect3D();
        if (FAILED(created)) return created;
    }

    D3DDISPLAYMODE adapterMode;
    std::memset(&adapterMode, 0, sizeof adapterMode);
    HRESULT result = checkDXCall(this, m_d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &adapterMode),
                                 "IDirect3D8::GetAdapterDisplayMode");
    if (FAILED(result)) return result;

    if (!m_displayMode) {
        m_displayMode = new D3DDISPLAYMODE(adapterMode);
    } else {
        m_displayMode->Format = adapterMode.Format;
    }

    const bool fullscreen = config->fullscreen.wasRead() && config->fullscreen.getValue();
    if (config->reswidth.wasRead()) m_displayMode->Width = static_cast<UINT>(config->reswidth.getValue());
    if (config->resheight.wasRead()) m_displayMode->Height = static_cast<UINT>(config->resheight.getValue());
    if (config->reswidth.wasRead() || config->resheight.wasRead()) {
        SetWindowPos(window, nullptr, 0, 0, static_cast<int>(m_displayMode->Width),
                     static_cast<int>(m_displayMode->Height), SWP_NOMOVE);
    }

    result = createDevice(window, fullscreen);
    if (FAILED(result)) return result;

    result = setDefaultRenderStates();
    if (FAILED(result)) return result;

    m_log->write(cLogBlockEnd(LOGLEVEL_LOG));
    return result;
}

HRESULT cD3D::createDirect3D() {
    m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (m_d3d) return S_OK;
    m_log->write(cLogMessage("Failed to create D3D8 Object.", LOGLEVEL_FATAL, LOGINDENT_NONE));
    return E_FAIL;
}

HRESULT cD3D::createDevice(HWND window, bool fullscreen) {
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.EnableAutoDepthStencil = TRUE;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    if (fullscreen) {
        params.BackBufferWidth = m_displayMode->Width;
        params.BackBufferHeight = m_displayMode->Height;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 2;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = FALSE;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
    } else {
        params.BackBufferFormat = m_displayMode->Format;
        params.SwapEffect = D3DSWAPEFFECT_COPY;
        params.Windowed = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D16;
    }

    m_log->write(cLogBlockBegin("Creating D3D Device...", LOGLEVEL_LOG));

    int width = static_cast<int>(m_displayMode->Width);
    int height = static_cast<int>(m_displayMode->Height);
    if (!fullscreen) {
        RECT rect{0, 0, 0, 0};
        GetWindowRect(window, &rect);
        width = rect.right - rect.left;
        height = rect.bottom - rect.top;
    }
    logPlain(m_log, "Resolution: " + intText(width) + "x" + intText(height) +
                        (fullscreen ? " (Fullscreen)" : " (Windowed)"));
    logPlain(m_log, "Refreshrate: " + intText(static_cast<int>(m_displayMode->RefreshRate)));

    const HRESULT result = checkDXCall(
        this,
        m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &m_device),
        "IDirect3D8::CreateDevice", LOGINDENT_END);
    if (FAILED(result)) {
        m_log->write(cLogBlockEnd(LOGLEVEL_LOG));
        return result;
    }
    m_log->write(cLogSucceeded(LOGLEVEL_LOG, LOGINDENT_END));
    return result;
}

HRESULT cD3D::setDefaultRenderStates() {
    struct DefaultState {
        D3DRENDERSTATETYPE state;
        DWORD value;
        const char* callText;
    };
    static const DefaultState kDefaults[] = {
        {D3DRS_ZENABLE, TRUE, "IDirect3DDevice8::SetRenderState(D3DRS_ZENABLE, true)"},
        {D3DRS_ZWRITEENABLE, TRUE, "IDirect3DDevice8::SetRenderState(D3DRS_ZWRITEENABLE, true)"},
        {D3DRS_LIGHTING, FALSE, "IDirect3DDevice8::SetRenderState(D3DRS_LIGHTING, false)"},
        {D3DRS_CULLMODE, D3DCULL_CCW,
         "IDirect3DDevice8::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW)"},
    };
    HRESULT result = S_OK;
    for (const DefaultState& entry : kDefaults) {
        result = checkDXCall(this, m_device->SetRenderState(entry.state, entry.value), entry.callText);
        if (FAILED(result)) {
            m_log->write(cLogBlockEnd(LOGLEVEL_LOG));
            return result;
        }
    }
    return result;
}

bool cD3D::release() {
    if (!m_log) m_log = &m_fallbackLog;
    m_log->write(cLogBlockBegin("cD3D::release", LOGLEVEL_LOG));
    bool released = false;
    if (m_device) {
        m_device->Release();
        m_device = nullptr;
        released = true;
    }
    if (m_d3d) {
        m_d3d->Release();
        m_d3d = nullptr;
        released = true;
    }
    m_log->write(cLogMessage("", LOGLEVEL_LOG, LOGINDENT_END));
    return released;
}
