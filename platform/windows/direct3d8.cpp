// Direct3DCreate8 for the Windows port: the real one, loaded from d3d8.dll (the
// compiler's import libraries have none for it), with Present hooked as capture
// tools hook it, so that tools see each finished frame and the demo's frames are
// paced to the display as on the other ports.
//
// The hook replaces two entries of the real objects' method tables: CreateDevice
// of IDirect3D8, to reach each new device, and Present of IDirect3DDevice8. Both
// tables belong to their classes, so each is patched once, for every object.
// This file alone uses the C form of the interfaces, which names the entries.
//
// When the environment names a file in PRESENT_TIMER_FILE, the time of every
// Present is appended to it, one line of milliseconds (three decimals) each, as
// the Linux build's present_timer preload writes them: the soak run and the
// end-to-end tests watch demo.exe's frames through it. Under Wine the frame
// reaches OpenGL through function pointers that no preloaded library can wrap,
// so the hook notes the time itself.
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <d3d8.h>

#include <cstdio>
#include <vector>

#include "device_hooks.h"
#include "present_hooks.h"

namespace {

using CreateDeviceMethod = decltype(IDirect3D8Vtbl::CreateDevice);
using PresentMethod = decltype(IDirect3DDevice8Vtbl::Present);

CreateDeviceMethod g_createDevice = nullptr;  // the real methods, once replaced
PresentMethod g_present = nullptr;

// Puts `replacement` into a method table entry and keeps the real method in
// `original`; an entry already replaced is left alone.
template <typename Method>
void replaceMethod(const Method* entry, Method replacement, Method* original) {
    if (*original) return;
    auto* writable = const_cast<Method*>(entry);
    DWORD protection = 0;
    if (!VirtualProtect(writable, sizeof *writable, PAGE_READWRITE, &protection)) {
        std::fprintf(stderr, "d3d8: cannot hook the device (VirtualProtect failed)\n");
        return;
    }
    *original = *writable;
    *writable = replacement;
    VirtualProtect(writable, sizeof *writable, protection, &protection);
}

// Converts a locked surface to the frame observers see (0xAARRGGBB, opaque).
bool convertRows(const D3DSURFACE_DESC& desc, const D3DLOCKED_RECT& locked, std::vector<uint32_t>* frame) {
    frame->resize(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
        const auto* row = static_cast<const BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        uint32_t* out = frame->data() + static_cast<size_t>(y) * desc.Width;
        for (UINT x = 0; x < desc.Width; ++x) {
            if (desc.Format == D3DFMT_X8R8G8B8 || desc.Format == D3DFMT_A8R8G8B8) {
                out[x] = reinterpret_cast<const uint32_t*>(row)[x] | 0xFF000000u;
            } else if (desc.Format == D3DFMT_R5G6B5) {
                const uint32_t p = reinterpret_cast<const uint16_t*>(row)[x];
                const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
                out[x] = 0xFF000000u | ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
            } else {
                return false;
            }
        }
    }
    return true;
}

// Hands the back buffer to the present observer: copied into system memory
// first, since a back buffer made without D3DPRESENTFLAG_LOCKABLE_BACKBUFFER
// cannot be locked.
void observeBackBuffer(IDirect3DDevice8* device) {
    IDirect3DSurface8* back = nullptr;
    if (FAILED(IDirect3DDevice8_GetBackBuffer(device, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return;
    D3DSURFACE_DESC desc{};
    IDirect3DSurface8* copy = nullptr;
    D3DLOCKED_RECT locked{};
    static std::vector<uint32_t> frame;
    bool converted = false;
    if (SUCCEEDED(IDirect3DSurface8_GetDesc(back, &desc)) &&
        SUCCEEDED(IDirect3DDevice8_CreateImageSurface(device, desc.Width, desc.Height, desc.Format, &copy)) &&
        SUCCEEDED(IDirect3DDevice8_CopyRects(device, back, nullptr, 0, copy, nullptr)) &&
        SUCCEEDED(IDirect3DSurface8_LockRect(copy, &locked, nullptr, D3DLOCK_READONLY))) {
        converted = convertRows(desc, locked, &frame);
        IDirect3DSurface8_UnlockRect(copy);
    }
    if (copy) IDirect3DSurface8_Release(copy);
    IDirect3DSurface8_Release(back);
    if (!converted) {
        std::fprintf(stderr, "d3d8: the back buffer (format %d) could not be read\n", static_cast<int>(desc.Format));
        return;
    }
    d3d8::presentObserver()(d3d8::FrameView{frame.data(), static_cast<int>(desc.Width),
                                            static_cast<int>(desc.Height),
                                            static_cast<int>(desc.Width * sizeof(uint32_t))});
}

// Waits out the rest of the display's refresh period since the last frame.
class Pacer {
public:
    void wait() {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (period_ == 0) start(now);
        const LONGLONG target = last_ + period_;
        if (now.QuadPart < target) {
            Sleep(static_cast<DWORD>((target - now.QuadPart) * 1000 / frequency_));
            last_ = target;
        } else {
            last_ = now.QuadPart;  // late: pace from now rather than catch up
        }
    }

private:
    void start(LARGE_INTEGER now) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        frequency_ = frequency.QuadPart;
        HDC screen = GetDC(nullptr);
        int hertz = screen ? GetDeviceCaps(screen, VREFRESH) : 0;
        if (screen) ReleaseDC(nullptr, screen);
        if (hertz <= 1) hertz = 60;  // 0 and 1 mean "the hardware's default"
        period_ = frequency_ / hertz;
        last_ = now.QuadPart - period_;
    }

    LONGLONG frequency_ = 1;
    LONGLONG period_ = 0;
    LONGLONG last_ = 0;
};

Pacer g_pacer;

// Appends the time of each Present to the file PRESENT_TIMER_FILE names; does
// nothing without one, or when it cannot be opened.
class PresentTimes {
public:
    PresentTimes() {
        char path[MAX_PATH] = "";
        const DWORD length = GetEnvironmentVariableA("PRESENT_TIMER_FILE", path, sizeof path);
        if (length == 0 || length >= sizeof path) return;
        file_ = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        frequency_ = static_cast<double>(frequency.QuadPart);
    }

    void note() {
        if (file_ == INVALID_HANDLE_VALUE) return;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        char line[32];
        const int length = std::snprintf(line, sizeof line, "%.3f\n",
                                         static_cast<double>(now.QuadPart) * 1000.0 / frequency_);
        if (length <= 0 || length >= static_cast<int>(sizeof line)) return;
        // One write a line, so a reader never sees half of one for long; a
        // failed write loses one sample and nothing else.
        DWORD written = 0;
        WriteFile(file_, line, static_cast<DWORD>(length), &written, nullptr);
    }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    double frequency_ = 1.0;
};

HRESULT STDMETHODCALLTYPE hookedPresent(IDirect3DDevice8* device, const RECT* source, const RECT* dest,
                                        HWND window, const RGNDATA* dirty) {
    if (d3d8::presentObserver()) observeBackBuffer(device);
    const HRESULT result = g_present(device, source, dest, window, dirty);
    static PresentTimes times;
    times.note();
    if (d3d8::presentPacing()) g_pacer.wait();
    return result;
}

HRESULT STDMETHODCALLTYPE hookedCreateDevice(IDirect3D8* d3d, UINT adapter, D3DDEVTYPE type, HWND window,
                                             DWORD behaviour, D3DPRESENT_PARAMETERS* parameters,
                                             IDirect3DDevice8** device) {
    const HRESULT result = g_createDevice(d3d, adapter, type, window, behaviour, parameters, device);
    if (SUCCEEDED(result) && device && *device) {
        replaceMethod(&(*device)->lpVtbl->Present, hookedPresent, &g_present);
    }
    return result;
}

using CreateDirect3D = IDirect3D8*(WINAPI*)(UINT);

CreateDirect3D loadDirect3D() {
    HMODULE library = LoadLibraryA("d3d8.dll");  // kept for the life of the process
    if (!library) {
        std::fprintf(stderr, "d3d8: d3d8.dll could not be loaded\n");
        return nullptr;
    }
    auto create = reinterpret_cast<CreateDirect3D>(
        reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate8")));
    if (!create) std::fprintf(stderr, "d3d8: d3d8.dll has no Direct3DCreate8\n");
    return create;
}

}  // namespace

namespace d3d8 {

void useOffscreenDevice() {}  // Direct3D 8 draws into a window

bool deviceFailureExplained() { return false; }  // Windows' own Direct3D says nothing
void explainDeviceFailureOnStderrOnly() {}

}  // namespace d3d8

IDirect3D8* WINAPI Direct3DCreate8(UINT SDKVersion) {
    static const CreateDirect3D create = loadDirect3D();
    IDirect3D8* d3d = create ? create(SDKVersion) : nullptr;
    if (d3d) replaceMethod(&d3d->lpVtbl->CreateDevice, hookedCreateDevice, &g_createDevice);
    return d3d;
}
