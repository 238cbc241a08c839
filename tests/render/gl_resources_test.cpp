// The OpenGL back end's objects: the Direct3D object and device creation
// checks, buffers and textures (locking rules, levels, uploads), draw
// validation, and what happens when objects are released in any order.
#include <SDL.h>

#include <cstring>

#include "gl/gl_fvf.h"
#include "gl_test_util.h"
#include "win32_sdl.h"

namespace {

using gltest::colorQuad;
using gltest::DeviceOptions;
using gltest::kColorFvf;
using gltest::kFullScreen;

class GlResourcesTest : public gltest::DeviceTest {
protected:
    D3DPRESENT_PARAMETERS validWindowed() {
        D3DDISPLAYMODE mode{};
        d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
        return gltest::windowedParameters(DeviceOptions{}, mode.Format);
    }

    HRESULT tryCreate(D3DPRESENT_PARAMETERS params, HWND focus,
                      DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                      D3DDEVTYPE type = D3DDEVTYPE_HAL, UINT adapter = D3DADAPTER_DEFAULT) {
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
        const HRESULT hr = d3d_->CreateDevice(adapter, type, focus, flags, &params, &device);
        if (SUCCEEDED(hr)) {
            EXPECT_NE(device, nullptr);
            device->Release();
        } else {
            EXPECT_EQ(device, nullptr) << "a failed creation gives null";
        }
        return hr;
    }
};

// ---------------------------------------------------------------------------
// The Direct3D object and device creation

TEST(GlFvfLayout, ElementOffsetsFollowTheFormat) {
    const auto a = d3d8::gl::parseFvf(0x142);
    EXPECT_TRUE(a.valid);
    EXPECT_EQ(a.size, 24u);
    EXPECT_EQ(a.diffuseOffset, 12);
    EXPECT_EQ(a.texCoordOffset[0], 16);
    EXPECT_EQ(a.normalOffset, -1);

    const auto b = d3d8::gl::parseFvf(0x252);
    EXPECT_EQ(b.size, 44u);
    EXPECT_EQ(b.normalOffset, 12);
    EXPECT_EQ(b.diffuseOffset, 24);
    EXPECT_EQ(b.texCoordOffset[1], 36);

    // Specular after diffuse; a 3-float second set (format bits 01 at bit 18).
    const auto c = d3d8::gl::parseFvf(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                                      D3DFVF_TEX2 | (1u << 18));
    EXPECT_TRUE(c.pretransformed);
    EXPECT_EQ(c.specularOffset, 20);
    EXPECT_EQ(c.texCoordFloats[1], 3);
    EXPECT_EQ(c.size, 4u * 4 + 4 + 4 + 8 + 12);

    EXPECT_FALSE(d3d8::gl::parseFvf(D3DFVF_DIFFUSE).valid) << "no position";
    EXPECT_FALSE(d3d8::gl::parseFvf(D3DFVF_XYZRHW | D3DFVF_NORMAL).valid)
        << "lit and pre-transformed";
    EXPECT_FALSE(d3d8::gl::parseFvf(D3DFVF_XYZ | 0x900).valid) << "nine coordinate sets";
}

TEST_F(GlResourcesTest, OneAdapterWithTheDesktopMode) {
    EXPECT_EQ(d3d_->GetAdapterCount(), 1u);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    SDL_DisplayMode desktop;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(mode.Width, static_cast<UINT>(desktop.w));
    EXPECT_EQ(mode.Height, static_cast<UINT>(desktop.h));
    EXPECT_EQ(mode.RefreshRate,
              desktop.refresh_rate > 0 ? static_cast<UINT>(desktop.refresh_rate) : 60u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d_->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION + 1), nullptr);
}

TEST_F(GlResourcesTest, CreateDeviceRejectsBadArguments) {
    const D3DPRESENT_PARAMETERS good = validWindowed();
    EXPECT_EQ(tryCreate(good, window_), D3D_OK);

    EXPECT_EQ(tryCreate(good, nullptr), D3DERR_INVALIDCALL) << "no window";
    EXPECT_EQ(tryCreate(good, reinterpret_cast<HWND>(uintptr_t{0x1234})), D3DERR_INVALIDCALL)
        << "bogus window";
    EXPECT_EQ(tryCreate(good, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DDEVTYPE_REF),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(tryCreate(good, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DDEVTYPE_HAL, 1),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(tryCreate(good, window_, 0), D3DERR_INVALIDCALL) << "no vertex processing kind";
    EXPECT_EQ(tryCreate(good, window_,
                        D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING),
              D3DERR_INVALIDCALL);

    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 nullptr, &device),
              D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS p = good;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &p, nullptr),
              D3DERR_INVALIDCALL);

    auto with = [&](auto change) {
        D3DPRESENT_PARAMETERS q = good;
        change(q);
        return tryCreate(q, window_);
    };
    EXPECT_EQ(with([](auto& q) { q.BackBufferFormat = D3DFMT_L8; }), D3DERR_INVALIDCALL);
    EXPECT_EQ(with([](auto& q) { q.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(with([](auto& q) { q.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_ONE; }),
              D3DERR_INVALIDCALL)
        << "a window takes no presentation interval";
    EXPECT_EQ(with([](auto& q) { q.BackBufferCount = 2; }), D3DERR_INVALIDCALL)
        << "COPY with two buffers";
    EXPECT_EQ(with([](auto& q) { q.SwapEffect = static_cast<D3DSWAPEFFECT>(9); }),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(with([](auto& q) {
                  q.Windowed = FALSE;
                  q.SwapEffect = D3DSWAPEFFECT_DISCARD;
              }),
              D3DERR_INVALIDCALL)
        << "full screen needs a size";
    EXPECT_EQ(with([](auto& q) { q.AutoDepthStencilFormat = D3DFMT_D24S8; }), D3D_OK);
    // The device window in the parameters wins over the focus window.
    D3DPRESENT_PARAMETERS own = good;
    own.hDeviceWindow = window_;
    EXPECT_EQ(tryCreate(own, reinterpret_cast<HWND>(uintptr_t{0x1234})), D3D_OK);
}

TEST_F(GlResourcesTest, CreateDeviceReportsTheChosenBackBuffer) {
    D3DPRESENT_PARAMETERS p = validWindowed();
    p.BackBufferFormat = D3DFMT_UNKNOWN;  // a window may take the desktop's format
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &p, &device),
              D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 64u);
    EXPECT_EQ(p.BackBufferHeight, 64u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(p.BackBufferCount, 1u);
    device->Release();
}

TEST_F(GlResourcesTest, FullScreenDeviceTakesTheWindowAndGivesItBack) {
    releaseDevice();
    window_ = gltest::createTestWindow(64, 64);
    d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 40;
    p.BackBufferHeight = 30;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 2;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = FALSE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &p, &device_),
              D3D_OK);
    SDL_Window* sdl = win32::sdlWindow(window_);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP,
              SDL_WINDOW_FULLSCREEN_DESKTOP);
    // The back buffer keeps the requested size whatever the screen's.
    const auto frame = clearAndPresent(D3DCOLOR_XRGB(9, 8, 7));
    EXPECT_EQ(frame.width, 40);
    EXPECT_EQ(frame.height, 30);
    EXPECT_EQ(frame.at(39, 29), 0xFF090807u);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 5), D3D_OK)
        << "D24S8 has stencil";
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    RECT rect{0, 0, 4, 4};
    EXPECT_EQ(device_->Present(&rect, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL)
        << "rectangles need a COPY swap effect";
    device_->Release();
    device_ = nullptr;
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
}

// ---------------------------------------------------------------------------
// Buffers

TEST_F(GlResourcesTest, BufferLocksStayInsideTheBufferAndDoNotNest) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, kColorFvf, D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    BYTE* whole = nullptr;
    BYTE* part = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &whole, 0), D3D_OK) << "size 0 locks everything";
    EXPECT_EQ(vb->Lock(0, 0, &part, 0), D3DERR_INVALIDCALL) << "already locked";
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL) << "not locked";
    ASSERT_EQ(vb->Lock(24, 48, &part, 0), D3D_OK);
    EXPECT_EQ(part, whole + 24);
    vb->Unlock();
    ASSERT_EQ(vb->Lock(72, 0, &part, 0), D3D_OK) << "size 0 from an offset: to the end";
    vb->Unlock();
    EXPECT_EQ(vb->Lock(80, 24, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(part, nullptr);
    EXPECT_EQ(vb->Lock(96, 0, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);

    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(vb->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 96u);
    EXPECT_EQ(desc.FVF, kColorFvf);
    EXPECT_EQ(desc.Type, D3DRTYPE_VERTEXBUFFER);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    vb->Release();

    IDirect3DVertexBuffer8* tooSmall = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(10, 0, kColorFvf, D3DPOOL_DEFAULT, &tooSmall),
              D3DERR_INVALIDCALL)
        << "less than one vertex";
    EXPECT_EQ(device_->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &tooSmall), D3DERR_INVALIDCALL);

    IDirect3DIndexBuffer8* ib = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &ib),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib), D3D_OK);
    D3DINDEXBUFFER_DESC idesc{};
    ib->GetDesc(&idesc);
    EXPECT_EQ(idesc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(idesc.Size, 12u);
    EXPECT_EQ(ib->Lock(4, 12, &part, 0), D3DERR_INVALIDCALL);
    ib->Release();
}

TEST_F(GlResourcesTest, DrawsAreCheckedAgainstTheBuffers) {
    const auto quad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 0, 0));
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL)
        << "no vertex format";
    device_->SetVertexShader(kColorFvf);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL) << "no stream";
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(sizeof quad, 0, kColorFvf, D3DPOOL_DEFAULT, &vb), D3D_OK);
    BYTE* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(data, quad.data(), sizeof quad);
    vb->Unlock();
    device_->SetStreamSource(0, vb, sizeof(gltest::ColorVertex));
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL)
        << "one vertex too many";
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(0), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 0), D3D_OK) << "nothing to draw";
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3DERR_INVALIDCALL)
        << "no indices";

    // An index naming a vertex the stream does not hold.
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), D3D_OK);
    const uint16_t indices[] = {0, 1, 2, 2, 1, 400};
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    device_->SetIndices(ib, 0);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3D_OK)
        << "the first triangle";
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 3, 2), D3DERR_INVALIDCALL)
        << "past the index buffer";
    vb->Release();
    ib->Release();
}

// ---------------------------------------------------------------------------
// Textures

TEST_F(GlResourcesTest, TextureLevelsDescriptionsAndLocks) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(256, 64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 9u) << "0 levels: the whole chain to 1x1";
    EXPECT_EQ(texture->GetType(), D3DRTYPE_TEXTURE);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Size, 64u * 16 * 4);
    ASSERT_EQ(texture->GetLevelDesc(8, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(texture->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 128 * 4);
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
    EXPECT_EQ(texture->UnlockRect(1), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(1), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(9, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    const RECT outside{0, 0, 300, 10};
    EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
    const RECT empty{5, 5, 5, 10};
    EXPECT_EQ(texture->LockRect(0, &locked, &empty, 0), D3DERR_INVALIDCALL);
    texture->Release();

    IDirect3DTexture8* bad = nullptr;
    EXPECT_EQ(device_->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad),
              D3DERR_INVALIDCALL)
        << "more levels than the chain has";
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_D16, D3DPOOL_MANAGED, &bad),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(1u << 20, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(bad, nullptr);
}

TEST_F(GlResourcesTest, LockingARectangleUpdatesOnlyThatRectangle) {
    IDirect3DTexture8* texture =
        makeTexture(4, 4, D3DFMT_A8R8G8B8, [](UINT, UINT) { return 0xFF0000FFu; });
    // The lower-right quarter turns red.
    const RECT quarter{2, 2, 4, 4};
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, &quarter, 0), D3D_OK);
    for (int y = 0; y < 2; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        row[0] = row[1] = 0xFFFF0000u;
    }
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    device_->SetTexture(0, texture);
    clear(0);
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    const auto frame = present();
    EXPECT_EQ(frame.at(10, 10), 0xFF0000FFu);
    EXPECT_EQ(frame.at(40, 10), 0xFF0000FFu);
    EXPECT_EQ(frame.at(10, 40), 0xFF0000FFu);
    EXPECT_EQ(frame.at(40, 40), 0xFFFF0000u);
    texture->Release();
}

TEST_F(GlResourcesTest, MipLevelsAreUsedOnlyWithAMipFilter) {
    // Level 0 red, level 1 green, level 2 blue: drawn at a quarter of level 0's
    // size, the base level shows unless MIPFILTER asks for the chain.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(256, 256, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    const uint32_t colors[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (UINT level = 0; level < 3; ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row =
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            std::fill(row, row + desc.Width, colors[level]);
        }
        texture->UnlockRect(level);
    }
    device_->SetTexture(0, texture);
    auto draw = [&] {
        clear(0);
        EXPECT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
                  D3D_OK);
        return present().centre();
    };
    EXPECT_EQ(draw(), colors[0]);
    device_->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
    EXPECT_EQ(draw(), colors[2]);
    device_->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    EXPECT_EQ(draw(), colors[0]);
    texture->Release();
}

// ---------------------------------------------------------------------------
// Lifetimes

TEST_F(GlResourcesTest, ReleasingABoundTextureKeepsItAliveForTheDevice) {
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_XRGB(0, 255, 0));
    ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
    // SetTexture holds a reference of its own, as in Direct3D.
    EXPECT_EQ(texture->Release(), 1u) << "the application's last reference";
    clear(0);
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFF00FF00u) << "still sampled";

    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(0, &bound), D3D_OK);
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->Release(), 1u) << "GetTexture added a reference";
    EXPECT_EQ(device_->SetTexture(0, nullptr), D3D_OK);  // frees it
    clear(0);
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 0, 255)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFFFF00FFu);
}

TEST_F(GlResourcesTest, ResourcesOutlivingTheDeviceBecomeInert) {
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_XRGB(1, 2, 3));
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
    device_->SetStreamSource(0, vb, 16);
    IDirect3DDevice8* owner = nullptr;
    ASSERT_EQ(vb->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device_);
    EXPECT_EQ(owner->Release(), 1u);

    EXPECT_EQ(device_->Release(), 0u);
    device_ = nullptr;
    BYTE* data = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->GetDevice(&owner), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->GetLevelCount(), 1u) << "descriptions still answer";
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(GlResourcesTest, ObjectsFromAnotherDeviceAreRefused) {
    IDirect3DDevice8* other = nullptr;
    D3DPRESENT_PARAMETERS p = validWindowed();
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &p, &other),
              D3D_OK);
    IDirect3DTexture8* foreign = nullptr;
    ASSERT_EQ(other->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &foreign), D3D_OK);
    EXPECT_EQ(device_->SetTexture(0, foreign), D3DERR_INVALIDCALL);
    foreign->Release();
    other->Release();
    // The first device still works after the second one's context is gone.
    EXPECT_EQ(clearAndPresent(D3DCOLOR_XRGB(4, 5, 6)).centre(), 0xFF040506u);
}

TEST_F(GlResourcesTest, TheDeviceWindowGoingFirstLosesTheDeviceWithoutCrashing) {
    ASSERT_TRUE(DestroyWindow(window_));
    window_ = nullptr;
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device_->Release(), 0u);
    device_ = nullptr;
}

}  // namespace
