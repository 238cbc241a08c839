// The IDirect3D8 object of the OpenGL back end: one adapter (the desktop the
// window system sees) and device creation with Direct3D 8's checks of the present parameters.
#include <algorithm>
#include <new>

#include "device_hooks.h"
#include "direct3d_factory.h"
#include "gl_common.h"
#include "gl_device.h"
#include "gl_window.h"

namespace d3d8::gl {
namespace {

constexpr UINT kDefaultRefreshRate = 60;
constexpr UINT kMaxBackBufferSize = 16384;

UINT desktopRefreshRate(window::Surface* surface) {
    window::DisplayMode mode;
    if (!window::desktopMode(surface, mode) || mode.refreshRate <= 0) return kDefaultRefreshRate;
    return static_cast<UINT>(mode.refreshRate);
}

bool exactlyOneVertexProcessing(DWORD flags) {
    const DWORD kinds =
        flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                 D3DCREATE_MIXED_VERTEXPROCESSING);
    return kinds != 0 && (kinds & (kinds - 1)) == 0;
}

// The depth buffer of an automatic depth-stencil format.
bool depthFormat(D3DFORMAT format, BackBufferDesc& desc) {
    switch (format) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE: desc.depthFormat = GL_DEPTH_COMPONENT16; return true;
        case D3DFMT_D24X8: desc.depthFormat = GL_DEPTH_COMPONENT24; return true;
        case D3DFMT_D32: desc.depthFormat = GL_DEPTH_COMPONENT32F; return true;
        case D3DFMT_D24S8:
            desc.depthFormat = GL_DEPTH24_STENCIL8;
            desc.hasStencil = true;
            return true;
        default: return false;
    }
}

bool backBufferFormat(D3DFORMAT format, bool windowed, BackBufferDesc& desc) {
    switch (format) {
        case D3DFMT_UNKNOWN:
            // A window may ask for the desktop's format.
            if (!windowed) return false;
            desc.format = D3DFMT_X8R8G8B8;
            return true;
        case D3DFMT_A8R8G8B8:
            desc.format = format;
            desc.hasAlpha = true;
            return true;
        case D3DFMT_X8R8G8B8:
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
            desc.format = format;  // kept at 8 bits per channel
            return true;
        default: return false;
    }
}

// Checks the present parameters as Direct3D 8 does and decides the back buffer.
HRESULT describeBackBuffer(const D3DPRESENT_PARAMETERS& p, window::Surface* surface,
                           BackBufferDesc& desc) {
    const bool windowed = p.Windowed != FALSE;
    desc.windowed = windowed;
    if (p.BackBufferCount > 3 || p.MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
        return D3DERR_INVALIDCALL;
    const bool copies =
        p.SwapEffect == D3DSWAPEFFECT_COPY || p.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    if (copies && p.BackBufferCount > 1) return D3DERR_INVALIDCALL;
    desc.swapEffect = p.SwapEffect;
    // In a window the refresh rate and presentation interval must be left at 0.
    if (windowed && (p.FullScreen_RefreshRateInHz != 0 || p.FullScreen_PresentationInterval != 0)) {
        return D3DERR_INVALIDCALL;
    }
    if (!windowed && (p.BackBufferWidth == 0 || p.BackBufferHeight == 0)) return D3DERR_INVALIDCALL;
    if (!backBufferFormat(p.BackBufferFormat, windowed, desc)) return D3DERR_INVALIDCALL;
    if (p.EnableAutoDepthStencil && !depthFormat(p.AutoDepthStencilFormat, desc))
        return D3DERR_INVALIDCALL;

    desc.width = p.BackBufferWidth;
    desc.height = p.BackBufferHeight;
    if (windowed) {
        // A zero size means the window's client area.
        int clientWidth = 0, clientHeight = 0;
        window::clientSize(surface, clientWidth, clientHeight);
        if (desc.width == 0) desc.width = static_cast<UINT>(std::max(clientWidth, 1));
        if (desc.height == 0) desc.height = static_cast<UINT>(std::max(clientHeight, 1));
    }
    if (desc.width > kMaxBackBufferSize || desc.height > kMaxBackBufferSize)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

class Direct3D final : public RefCounted<IDirect3D8> {
public:
    UINT GetAdapterCount() override { return 1; }

    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override {
        if (Adapter != D3DADAPTER_DEFAULT || !pMode) return D3DERR_INVALIDCALL;
        window::DisplayMode mode;
        if (!window::desktopMode(nullptr, mode)) return D3DERR_NOTAVAILABLE;
        pMode->Width = static_cast<UINT>(mode.width);
        pMode->Height = static_cast<UINT>(mode.height);
        pMode->RefreshRate =
            mode.refreshRate > 0 ? static_cast<UINT>(mode.refreshRate) : kDefaultRefreshRate;
        pMode->Format = D3DFMT_X8R8G8B8;
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice8** ppReturnedDeviceInterface) override {
        if (!ppReturnedDeviceInterface) return D3DERR_INVALIDCALL;
        *ppReturnedDeviceInterface = nullptr;
        if (Adapter != D3DADAPTER_DEFAULT || DeviceType != D3DDEVTYPE_HAL ||
            !pPresentationParameters || !exactlyOneVertexProcessing(BehaviorFlags)) {
            return D3DERR_INVALIDCALL;
        }
        D3DPRESENT_PARAMETERS& params = *pPresentationParameters;
        const HWND window = params.hDeviceWindow ? params.hDeviceWindow : hFocusWindow;
        window::Surface* surface = window ? window::surfaceOf(window) : nullptr;
        if (!surface) return D3DERR_INVALIDCALL;

        Device::Setup setup{window, surface, BackBufferDesc{}, desktopRefreshRate(surface)};
        const HRESULT checked = describeBackBuffer(params, surface, setup.backBuffer);
        if (FAILED(checked)) return checked;
        const HRESULT created = Device::create(setup, ppReturnedDeviceInterface);
        if (FAILED(created)) return created;
        // Like Direct3D, report the choices made for zero or unknown fields.
        params.BackBufferWidth = setup.backBuffer.width;
        params.BackBufferHeight = setup.backBuffer.height;
        params.BackBufferFormat = setup.backBuffer.format;
        if (params.BackBufferCount == 0) params.BackBufferCount = 1;
        return D3D_OK;
    }

private:
    ~Direct3D() override = default;
};

IDirect3D8* createDirect3D() {
    // Without video there is no adapter: Direct3DCreate8 gives null. Video is
    // started here (by the window layer, which chooses the driver) when no
    // window has done it yet, and left running: a port keeps one video subsystem
    // for the whole process, and windows made later would die with it if it
    // were shut down when this object goes.
    if (!window::startVideo()) return nullptr;
    return new (std::nothrow) Direct3D();
}

}  // namespace
}  // namespace d3d8::gl

namespace d3d8 {

// The back end of the Linux and web ports.
IDirect3D8* createPortDirect3D(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return gl::createDirect3D();
}

void useOffscreenDevice() {
    gl::window::useOffscreen();
    installDirect3DFactory(nullptr);
}

}  // namespace d3d8
