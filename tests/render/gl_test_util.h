// Shared pieces of the OpenGL back end's render tests: a window from the Win32
// stand-in, a device on it, frames read through the present observer, and small
// vertex and texture builders. Coordinates given to the quad builders are
// clip-space x and y (-1..1, +y up) with identity transforms.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "d3d8.h"
#include "d3d8_backend.h"
#include "windows.h"

namespace gltest {

// FVF 0x142: position, diffuse, one coordinate set.
struct ColorVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kColorFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// FVF 0x152: position, normal, diffuse, one coordinate set.
struct NormalVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kNormalFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// FVF 0x252: position, normal, diffuse, two coordinate sets.
struct TwoSetVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};
constexpr DWORD kTwoSetFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

struct Rect {
    float left, top, right, bottom;  // clip space, top > bottom
};
constexpr Rect kFullScreen{-1.0f, 1.0f, 1.0f, -1.0f};

// Four vertices as a triangle strip, clockwise on screen (Direct3D's front
// faces): top-left, top-right, bottom-left, bottom-right, with u, v 0..1.
inline std::array<ColorVertex, 4> colorQuad(Rect r, float z, D3DCOLOR color) {
    return {{{r.left, r.top, z, color, 0.0f, 0.0f},
             {r.right, r.top, z, color, 1.0f, 0.0f},
             {r.left, r.bottom, z, color, 0.0f, 1.0f},
             {r.right, r.bottom, z, color, 1.0f, 1.0f}}};
}

inline std::array<NormalVertex, 4> normalQuad(Rect r, float z, D3DVECTOR normal, D3DCOLOR color) {
    auto v = [&](float x, float y, float u, float tv) {
        return NormalVertex{x, y, z, normal.x, normal.y, normal.z, color, u, tv};
    };
    return {{v(r.left, r.top, 0, 0), v(r.right, r.top, 1, 0), v(r.left, r.bottom, 0, 1),
             v(r.right, r.bottom, 1, 1)}};
}

// The same quad with its vertices in the other order: counter-clockwise on screen.
template <class Vertex>
std::array<Vertex, 4> reversed(std::array<Vertex, 4> quad) {
    std::swap(quad[1], quad[2]);
    return quad;
}

inline int red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int blue(uint32_t c) { return static_cast<int>(c & 0xFF); }
inline int alpha(uint32_t c) { return static_cast<int>(c >> 24); }

// Whether every channel of `actual` is within `tolerance` of `expected`.
inline ::testing::AssertionResult colorNear(uint32_t actual, uint32_t expected, int tolerance) {
    const bool near = std::abs(red(actual) - red(expected)) <= tolerance &&
                      std::abs(green(actual) - green(expected)) <= tolerance &&
                      std::abs(blue(actual) - blue(expected)) <= tolerance &&
                      std::abs(alpha(actual) - alpha(expected)) <= tolerance;
    if (near) return ::testing::AssertionSuccess();
    char text[96];
    std::snprintf(text, sizeof text, "0x%08X is not within %d of 0x%08X", actual, tolerance,
                  expected);
    return ::testing::AssertionFailure() << text;
}

// A finished frame as the present observer saw it (top-down 0xAARRGGBB).
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t centre() const { return at(width / 2, height / 2); }
};

// A popup window (client area = the size given) from the Win32 stand-in.
inline HWND createTestWindow(int width, int height) {
    static const char* const kClass = "GlRenderTestWindow";
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        registered = RegisterClassExA(&wc) != 0;
    }
    return CreateWindowExA(0, kClass, "render test", WS_POPUP, 0, 0, width, height, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct DeviceOptions {
    UINT width = 0;  // 0: the window's client area
    UINT height = 0;
    int windowWidth = 64;
    int windowHeight = 64;
    BOOL depth = TRUE;
    D3DFORMAT depthFormat = D3DFMT_D16;
    D3DFORMAT backBufferFormat = D3DFMT_UNKNOWN;  // the adapter's format
};

inline D3DPRESENT_PARAMETERS windowedParameters(const DeviceOptions& options,
                                                D3DFORMAT adapterFormat) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = options.width;
    p.BackBufferHeight = options.height;
    p.BackBufferFormat =
        options.backBufferFormat == D3DFMT_UNKNOWN ? adapterFormat : options.backBufferFormat;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = options.depth;
    p.AutoDepthStencilFormat = options.depthFormat;
    return p;
}

// A fresh window, Direct3D object and device per test, unpaced, released in
// reverse order. Tests skip when the machine has no OpenGL 3.3 context at all.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d8::selectBackend(d3d8::Backend::OpenGL);
        d3d8::setPresentPacing(false);
        createDevice(DeviceOptions{});
        // Quads are drawn in their vertex colours unless a test says otherwise.
        if (device_) device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    void TearDown() override {
        d3d8::setPresentObserver(nullptr);
        d3d8::setPresentPacing(true);
        releaseDevice();
    }

    void releaseDevice() {
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
        if (window_) DestroyWindow(window_);
        device_ = nullptr;
        d3d_ = nullptr;
        window_ = nullptr;
    }

    // Replaces the device of the test with one made with these options, in the
    // state of a new device.
    void createDevice(const DeviceOptions& options) {
        releaseDevice();
        hasDepth_ = options.depth != FALSE;
        window_ = createTestWindow(options.windowWidth, options.windowHeight);
        ASSERT_NE(window_, nullptr);
        d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
        if (!d3d_) GTEST_SKIP() << "no video";
        D3DDISPLAYMODE mode{};
        ASSERT_EQ(d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
        D3DPRESENT_PARAMETERS params = windowedParameters(options, mode.Format);
        const HRESULT hr =
            d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                               D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_);
        if (hr == D3DERR_NOTAVAILABLE) GTEST_SKIP() << "no OpenGL 3.3 core context";
        ASSERT_EQ(hr, D3D_OK);
    }

    // Presents and returns the frame the observer was given.
    Frame present() {
        Frame frame;
        d3d8::setPresentObserver([&frame](const d3d8::FrameView& view) {
            frame.width = view.width;
            frame.height = view.height;
            frame.pixels.resize(static_cast<size_t>(view.width) * view.height);
            for (int y = 0; y < view.height; ++y) {
                const auto* row = reinterpret_cast<const uint8_t*>(view.pixels) +
                                  static_cast<size_t>(y) * view.pitch;
                std::memcpy(&frame.pixels[static_cast<size_t>(y) * view.width], row,
                            static_cast<size_t>(view.width) * 4);
            }
        });
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        d3d8::setPresentObserver(nullptr);
        return frame;
    }

    Frame clearAndPresent(D3DCOLOR color) {
        clear(color);
        return present();
    }

    void clear(D3DCOLOR color) {
        EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | (hasDepth_ ? D3DCLEAR_ZBUFFER : 0),
                                 color, 1.0f, 0),
                  D3D_OK);
    }

    // Draws a strip of vertices from a new vertex buffer (the device keeps it
    // alive while it is the stream source).
    template <class Vertex, size_t N>
    HRESULT drawStrip(const std::array<Vertex, N>& vertices, DWORD fvf) {
        IDirect3DVertexBuffer8* vb = nullptr;
        HRESULT hr = device_->CreateVertexBuffer(sizeof(Vertex) * N, D3DUSAGE_WRITEONLY, fvf,
                                                 D3DPOOL_DEFAULT, &vb);
        if (FAILED(hr)) return hr;
        BYTE* data = nullptr;
        vb->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), sizeof(Vertex) * N);
        vb->Unlock();
        device_->SetStreamSource(0, vb, sizeof(Vertex));
        device_->SetVertexShader(fvf);
        hr = device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(N - 2));
        vb->Release();
        return hr;
    }

    // A texture whose level 0 holds texel(x, y) (0xAARRGGBB for 32-bit formats).
    IDirect3DTexture8* makeTexture(UINT width, UINT height, D3DFORMAT format,
                                   const std::function<uint32_t(UINT, UINT)>& texel,
                                   UINT levels = 1) {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(
            device_->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture),
            D3D_OK);
        if (!texture) return nullptr;
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            auto* row = static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
            for (UINT x = 0; x < width; ++x) {
                const uint32_t value = texel(x, y);
                if (format == D3DFMT_L8) {
                    row[x] = static_cast<uint8_t>(value);
                } else {
                    std::memcpy(row + x * 4, &value, 4);
                }
            }
        }
        EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
        return texture;
    }

    IDirect3DTexture8* solidTexture(D3DCOLOR color, D3DFORMAT format = D3DFMT_A8R8G8B8) {
        return makeTexture(4, 4, format, [color](UINT, UINT) { return color; });
    }

    HWND window_ = nullptr;
    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    bool hasDepth_ = true;
};

}  // namespace gltest
