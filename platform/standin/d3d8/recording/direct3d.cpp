// The recording IDirect3D8 object: one adapter whose mode the recorder chooses,
// and CreateDevice with the argument checks Direct3D 8 documents.
#include <algorithm>

#include "call_text.h"
#include "d3d8_backend.h"
#include "direct3d_factory.h"
#include "objects.h"

namespace d3d8::recording {
namespace {

constexpr UINT kMaxBackBuffers = 3;  // D3DPRESENT_BACK_BUFFERS_MAX

bool isDepthFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_D16_LOCKABLE:
        case D3DFMT_D32:
        case D3DFMT_D24S8:
        case D3DFMT_D24X8:
        case D3DFMT_D16:
            return true;
        default:
            return false;
    }
}

// Exactly one of the three vertex-processing flags must be given.
bool oneVertexProcessingFlag(DWORD flags) {
    const DWORD processing = flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                      D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
    return processing != 0 && (processing & (processing - 1)) == 0;
}

bool validPresentParameters(const D3DPRESENT_PARAMETERS& p, HWND focusWindow) {
    if (p.BackBufferCount > kMaxBackBuffers) return false;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC) return false;
    // The copy swap effects work on a single back buffer (0 counts as 1).
    const bool copies = p.SwapEffect == D3DSWAPEFFECT_COPY || p.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    if (copies && p.BackBufferCount > 1) return false;
    if (p.EnableAutoDepthStencil && !isDepthFormat(p.AutoDepthStencilFormat)) return false;
    if (p.Windowed) {
        // A windowed device has no refresh rate or presentation interval of its own,
        // and needs a window: the focus window or the device window.
        if (p.FullScreen_RefreshRateInHz != 0 || p.FullScreen_PresentationInterval != 0) return false;
        if (!focusWindow && !p.hDeviceWindow) return false;
    } else {
        if (!focusWindow) return false;
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) return false;
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) return false;
    }
    return true;
}

// A back buffer of size 0 takes the client area of the device window (or the focus
// window), as Direct3D does for windowed devices. A handle the Win32 stand-in does
// not know leaves the size at 0.
void backBufferSize(const D3DPRESENT_PARAMETERS& p, HWND focusWindow, UINT& width, UINT& height) {
    width = p.BackBufferWidth;
    height = p.BackBufferHeight;
    if (width != 0 && height != 0) return;
    const HWND window = p.hDeviceWindow ? p.hDeviceWindow : focusWindow;
    RECT client{};
    if (!window || !IsWindow(window) || !GetClientRect(window, &client)) return;
    if (width == 0) width = static_cast<UINT>(std::max<LONG>(0, client.right - client.left));
    if (height == 0) height = static_cast<UINT>(std::max<LONG>(0, client.bottom - client.top));
}

}  // namespace

Direct3D::Direct3D() : RecordingObject("d3d") {}

ULONG Direct3D::AddRef() {
    ++refs_;
    recorder().record("IDirect3D8::AddRef", name() + "->AddRef()", static_cast<HRESULT>(refs_));
    return refs_;
}

ULONG Direct3D::Release() {
    const ULONG count = refs_ > 0 ? refs_ - 1 : 0;
    recorder().record("IDirect3D8::Release", name() + "->Release()", static_cast<HRESULT>(count));
    if (refs_ > 0) releaseInternal();
    return count;
}

void Direct3D::releaseInternal() {
    if (--refs_ == 0) delete this;
}

UINT Direct3D::GetAdapterCount() {
    HRESULT forced = S_OK;
    const UINT count = recorder().plannedFailure("GetAdapterCount", forced) ? 0 : 1;
    recorder().record("GetAdapterCount", "GetAdapterCount()", static_cast<HRESULT>(count));
    return count;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) {
    std::string callText = text::call("GetAdapterDisplayMode", {text::dec(Adapter), text::outPointer(pMode)});
    HRESULT result = D3D_OK;
    if (!recorder().plannedFailure("GetAdapterDisplayMode", result)) {
        if (Adapter != D3DADAPTER_DEFAULT || !pMode) {
            result = D3DERR_INVALIDCALL;
        } else {
            *pMode = recorder().adapterMode();
            callText = text::gave(callText, text::displayMode(*pMode));
        }
    }
    recorder().record("GetAdapterDisplayMode", callText, result);
    return result;
}

HRESULT Direct3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                               DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                               IDirect3DDevice8** ppReturnedDeviceInterface) {
    std::string callText = text::call(
        "CreateDevice", {text::dec(Adapter), text::dec(DeviceType), text::window(hFocusWindow),
                         text::hex(BehaviorFlags), text::presentParameters(pPresentationParameters),
                         text::outPointer(ppReturnedDeviceInterface)});
    if (pPresentationParameters) {
        recorder().noteDeviceCreation(
            DeviceCreation{Adapter, DeviceType, hFocusWindow, BehaviorFlags, *pPresentationParameters});
    }
    // Direct3D clears the out-pointer on every failure.
    if (ppReturnedDeviceInterface) *ppReturnedDeviceInterface = nullptr;
    HRESULT result = D3D_OK;
    if (!recorder().plannedFailure("CreateDevice", result)) {
        result = createDevice(Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters,
                              ppReturnedDeviceInterface);
        if (SUCCEEDED(result)) callText = text::gave(callText, nameFor(*ppReturnedDeviceInterface));
    }
    recorder().record("CreateDevice", callText, result);
    return result;
}

HRESULT Direct3D::createDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                               const D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device) {
    if (!device || !parameters) return D3DERR_INVALIDCALL;
    if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF && type != D3DDEVTYPE_SW) {
        return D3DERR_INVALIDCALL;
    }
    if (!oneVertexProcessingFlag(flags)) return D3DERR_INVALIDCALL;
    if (!validPresentParameters(*parameters, focusWindow)) return D3DERR_INVALIDCALL;
    UINT width = 0;
    UINT height = 0;
    backBufferSize(*parameters, focusWindow, width, height);
    *device = new Device(*this, *parameters, width, height);
    return D3D_OK;
}

namespace {

// Direct3DCreate8 on this back end: recorded like every other call, and failing
// when a failure is planned or the SDK version is not Direct3D 8's.
IDirect3D8* recordedDirect3DCreate8(UINT sdkVersion) {
    HRESULT forced = S_OK;
    const bool fail = recorder().plannedFailure("Direct3DCreate8", forced);
    const bool ok = !fail && sdkVersion == D3D_SDK_VERSION;
    recorder().record("Direct3DCreate8", "Direct3DCreate8(" + std::to_string(sdkVersion) + ")",
                      ok ? S_OK : E_FAIL);
    return ok ? new Direct3D() : nullptr;
}

}  // namespace
}  // namespace d3d8::recording

namespace d3d8 {

void selectBackend(Backend backend) {
    installDirect3DFactory(backend == Backend::Recording ? recording::recordedDirect3DCreate8 : nullptr);
}

}  // namespace d3d8
