// The OpenGL back end, checked by pixel: defaults, clears, colours and alpha,
// texturing and sampling, blending, depth, culling, scene brackets and the
// back buffer of a windowed device. One small scene per state family.
#include <chrono>
#include <cmath>
#include <cstring>

#include "gl_test_util.h"

namespace {

using gltest::alpha;
using gltest::blue;
using gltest::colorNear;
using gltest::colorQuad;
using gltest::DeviceOptions;
using gltest::Frame;
using gltest::green;
using gltest::kColorFvf;
using gltest::kFullScreen;
using gltest::Rect;
using gltest::red;
using gltest::reversed;

class GlDeviceTest : public gltest::DeviceTest {};

// ---------------------------------------------------------------------------
// Defaults

TEST_F(GlDeviceTest, FreshDeviceReportsTheDocumentedDefaults) {
    createDevice(DeviceOptions{});  // the fixture's device had LIGHTING turned off
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},  // there is a depth buffer
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_AMBIENT, 0},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_NORMALIZENORMALS, FALSE},
        {D3DRS_LOCALVIEWER, TRUE},
        {D3DRS_ALPHATESTENABLE, FALSE},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_ALPHAREF, 0},
        {D3DRS_FOGENABLE, FALSE},
        {D3DRS_STENCILENABLE, FALSE},
        {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_CLIPPING, TRUE},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_VERTEXBLEND, 0},
    };
    for (const auto& expected : renderStates) {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(device_->GetRenderState(expected.state, &value), D3D_OK);
        EXPECT_EQ(value, expected.value) << "render state " << expected.state;
    }

    const struct {
        D3DTEXTURESTAGESTATETYPE type;
        DWORD stage0;
        DWORD stage1;
    } stageStates[] = {
        {D3DTSS_COLOROP, D3DTOP_MODULATE, D3DTOP_DISABLE},
        {D3DTSS_COLORARG1, D3DTA_TEXTURE, D3DTA_TEXTURE},
        {D3DTSS_COLORARG2, D3DTA_CURRENT, D3DTA_CURRENT},
        {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1, D3DTOP_DISABLE},
        {D3DTSS_ALPHAARG1, D3DTA_TEXTURE, D3DTA_TEXTURE},
        {D3DTSS_ALPHAARG2, D3DTA_CURRENT, D3DTA_CURRENT},
        {D3DTSS_TEXCOORDINDEX, 0, 1},
        {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE, D3DTTFF_DISABLE},
        {D3DTSS_ADDRESSU, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP},
        {D3DTSS_ADDRESSV, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP},
        {D3DTSS_MAGFILTER, D3DTEXF_POINT, D3DTEXF_POINT},
        {D3DTSS_MINFILTER, D3DTEXF_POINT, D3DTEXF_POINT},
        {D3DTSS_MIPFILTER, D3DTEXF_NONE, D3DTEXF_NONE},
        {D3DTSS_MAXANISOTROPY, 1, 1},
    };
    for (const auto& expected : stageStates) {
        DWORD value0 = 0xDEADBEEF, value1 = 0xDEADBEEF;
        EXPECT_EQ(device_->GetTextureStageState(0, expected.type, &value0), D3D_OK);
        EXPECT_EQ(device_->GetTextureStageState(1, expected.type, &value1), D3D_OK);
        EXPECT_EQ(value0, expected.stage0) << "stage 0 state " << expected.type;
        EXPECT_EQ(value1, expected.stage1) << "stage 1 state " << expected.type;
    }

    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    for (auto type : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0, D3DTS_TEXTURE7}) {
        D3DMATRIX m{};
        EXPECT_EQ(device_->GetTransform(type, &m), D3D_OK);
        EXPECT_EQ(std::memcmp(&m, &identity, sizeof m), 0) << "transform " << type;
    }

    D3DMATERIAL8 material;
    std::memset(&material, 0xAB, sizeof material);
    EXPECT_EQ(device_->GetMaterial(&material), D3D_OK);
    const D3DMATERIAL8 zero{};
    EXPECT_EQ(std::memcmp(&material, &zero, sizeof material), 0);

    D3DVIEWPORT8 viewport{};
    EXPECT_EQ(device_->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.X, 0u);
    EXPECT_EQ(viewport.Y, 0u);
    EXPECT_EQ(viewport.Width, 64u);
    EXPECT_EQ(viewport.Height, 64u);
    EXPECT_EQ(viewport.MinZ, 0.0f);
    EXPECT_EQ(viewport.MaxZ, 1.0f);

    // No lights exist until set, but enabling one creates the default light.
    D3DLIGHT8 light{};
    BOOL enabled = TRUE;
    EXPECT_EQ(device_->GetLight(0, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetLightEnable(0, &enabled), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->LightEnable(3, TRUE), D3D_OK);
    ASSERT_EQ(device_->GetLight(3, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Diffuse.r, 1.0f);
    EXPECT_EQ(light.Diffuse.a, 0.0f);
    EXPECT_EQ(light.Direction.z, 1.0f);
    EXPECT_EQ(device_->GetLightEnable(3, &enabled), D3D_OK);
    EXPECT_EQ(enabled, TRUE);

    DWORD fvf = 1;
    EXPECT_EQ(device_->GetVertexShader(&fvf), D3D_OK);
    EXPECT_EQ(fvf, 0u);
    IDirect3DBaseTexture8* texture = reinterpret_cast<IDirect3DBaseTexture8*>(1);
    EXPECT_EQ(device_->GetTexture(0, &texture), D3D_OK);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(GlDeviceTest, ZEnableDefaultFollowsTheAutomaticDepthBuffer) {
    DeviceOptions options;
    options.depth = FALSE;
    createDevice(options);
    DWORD value = 1;
    EXPECT_EQ(device_->GetRenderState(D3DRS_ZENABLE, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
}

TEST_F(GlDeviceTest, OutOfRangeStatesAreRejected) {
    DWORD value = 0;
    EXPECT_EQ(device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(40), &value),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetVertexShader(D3DFVF_DIFFUSE), D3DERR_INVALIDCALL) << "no position";
    D3DVIEWPORT8 outside{32, 32, 64, 64, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
    D3DLIGHT8 badLight{};
    EXPECT_EQ(device_->SetLight(0, &badLight), D3DERR_INVALIDCALL) << "light type 0";
}

// ---------------------------------------------------------------------------
// Clear

TEST_F(GlDeviceTest, ClearFillsTheBackBufferWithTheColour) {
    const Frame frame = clearAndPresent(D3DCOLOR_ARGB(0x12, 0x33, 0x66, 0x99));
    ASSERT_EQ(frame.width, 64);
    ASSERT_EQ(frame.height, 64);
    // An X8R8G8B8 back buffer has no alpha: it reads opaque.
    EXPECT_EQ(frame.at(0, 0), 0xFF336699u);
    EXPECT_EQ(frame.at(63, 63), 0xFF336699u);
}

TEST_F(GlDeviceTest, ClearRectanglesAreTopDownAndClippedToTheViewport) {
    clear(D3DCOLOR_XRGB(0, 0, 0));
    const D3DRECT rects[] = {{0, 0, 16, 8}, {60, 60, 200, 200}};
    EXPECT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1.0f, 0), D3D_OK);
    const Frame frame = present();
    EXPECT_EQ(frame.at(0, 0), 0xFFFF0000u) << "rows count from the top";
    EXPECT_EQ(frame.at(15, 7), 0xFFFF0000u);
    EXPECT_EQ(frame.at(16, 7), 0xFF000000u);
    EXPECT_EQ(frame.at(15, 8), 0xFF000000u);
    EXPECT_EQ(frame.at(63, 63), 0xFFFF0000u) << "the part inside the target";

    D3DVIEWPORT8 viewport{32, 0, 32, 64, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1.0f, 0),
              D3D_OK);
    const Frame second = present();
    EXPECT_EQ(second.at(31, 32), 0xFF000000u) << "outside the viewport";
    EXPECT_EQ(second.at(32, 32), 0xFF00FF00u);
}

TEST_F(GlDeviceTest, ClearRejectsBuffersTheDeviceDoesNotHave) {
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL)
        << "D16 has no stencil";
    EXPECT_EQ(device_->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    DeviceOptions options;
    options.depth = FALSE;
    createDevice(options);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
}

// ---------------------------------------------------------------------------
// Untextured geometry, vertex colours, alpha

TEST_F(GlDeviceTest, UntexturedQuadShowsItsVertexColourWithBgraByteOrder) {
    clear(D3DCOLOR_XRGB(0, 0, 0));
    // Distinct channels: a swapped byte order cannot pass.
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(0xFF, 10, 120, 230)), kColorFvf),
              D3D_OK);
    const Frame frame = present();
    EXPECT_EQ(frame.centre(), 0xFF0A78E6u);
    EXPECT_EQ(frame.at(0, 0), 0xFF0A78E6u) << "the quad covers the corner pixels";
    EXPECT_EQ(frame.at(63, 63), 0xFF0A78E6u);
}

TEST_F(GlDeviceTest, UntexturedQuadKeepsItsVertexAlpha) {
    // With no texture, stage 0 (MODULATE / SELECTARG1 of TEXTURE) is skipped:
    // the fragment keeps the vertex alpha, which blending then shows.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(0x40, 255, 0, 0)), kColorFvf),
              D3D_OK);
    const Frame frame = present();
    // 0x40 / 255 = 0.251: red 64, blue 255 * 0.749 = 191.
    EXPECT_TRUE(colorNear(frame.centre(), 0xFF4000BF, 1));
}

TEST_F(GlDeviceTest, AStageReadingAMissingTextureIsSkippedWithTheStagesAfterIt) {
    // Stage 0 has a texture; stage 1 modulates by a texture that is not set, and
    // stage 2 would turn everything white: both are skipped.
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_ARGB(0x80, 200, 100, 50));
    ASSERT_NE(texture, nullptr);
    device_->SetTexture(0, texture);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(2, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFFC86432, 1));

    // Giving stage 1 a texture brings stages 1 and 2 back.
    IDirect3DTexture8* second = solidTexture(D3DCOLOR_XRGB(0, 0, 0));
    device_->SetTexture(1, second);
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFFFFFFFFu);
    texture->Release();
    second->Release();
}

TEST_F(GlDeviceTest, AlphaOpDisableWithColourEnabledPassesVertexAlphaThrough) {
    // What the program does for its alpha-blended effects: stage 0 ALPHAOP is
    // switched between MODULATE and DISABLE while a texture is bound.
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_ARGB(0x80, 255, 255, 255));
    device_->SetTexture(0, texture);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const auto quad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(0x40, 0, 255, 0));

    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(quad, kColorFvf), D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFF002000, 1)) << "alpha 0.25 * 0.5";

    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(quad, kColorFvf), D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFF004000, 1)) << "vertex alpha 0.25";
    texture->Release();
}

// ---------------------------------------------------------------------------
// Texturing and sampling

TEST_F(GlDeviceTest, ModulateMultipliesTextureAndVertexColour) {
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_XRGB(255, 128, 64));
    device_->SetTexture(0, texture);
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(128, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFF808040, 1));
    texture->Release();
}

TEST_F(GlDeviceTest, TexturesWithoutAlphaSampleOpaqueAndL8IsGrey) {
    // The X byte of an X8R8G8B8 texel is ignored; ALPHAOP SELECTARG1 TEXTURE
    // then gives alpha 1, so blending leaves the quad's colour untouched.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    IDirect3DTexture8* x8 = solidTexture(D3DCOLOR_ARGB(0x00, 0, 200, 0), D3DFMT_X8R8G8B8);
    device_->SetTexture(0, x8);
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFF00C800u);

    IDirect3DTexture8* l8 = solidTexture(0x60, D3DFMT_L8);
    device_->SetTexture(0, l8);
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFF606060u);
    x8->Release();
    l8->Release();
}

TEST_F(GlDeviceTest, DefaultPointSamplingKeepsHardTexelEdges) {
    // A 2x2 checker stretched over the whole target: point sampling gives only
    // the two texel colours, switching exactly at the middle.
    const uint32_t a = 0xFFFF0000, b = 0xFF0000FF;
    IDirect3DTexture8* checker =
        makeTexture(2, 2, D3DFMT_A8R8G8B8, [&](UINT x, UINT y) { return ((x + y) % 2) ? b : a; });
    device_->SetTexture(0, checker);
    clear(D3DCOLOR_XRGB(0, 255, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    const Frame frame = present();
    int other = 0;
    for (uint32_t pixel : frame.pixels) other += (pixel != a && pixel != b);
    EXPECT_EQ(other, 0) << "pixels that are neither texel colour";
    EXPECT_EQ(frame.at(31, 31), a);
    EXPECT_EQ(frame.at(32, 31), b);
    EXPECT_EQ(frame.at(31, 32), b);
    EXPECT_EQ(frame.at(32, 32), a);

    // LINEAR filtering blends across the middle.
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    clear(D3DCOLOR_XRGB(0, 255, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    const uint32_t middle = present().at(31, 31);
    EXPECT_GT(red(middle), 64);
    EXPECT_GT(blue(middle), 64);
    checker->Release();
}

TEST_F(GlDeviceTest, PixelCentresSitOnIntegerCoordinatesAsInDirect3D) {
    // A 64-texel stripe texture mapped 1:1 over 64 pixels. In Direct3D pixel i
    // samples u = i/64, the edge between two texels, so bilinear filtering mixes
    // neighbours half and half; moving the quad by half a pixel up-left (the
    // usual Direct3D fix) lands every pixel on a texel centre. (GL's own
    // convention gives the opposite.)
    IDirect3DTexture8* stripes = makeTexture(
        64, 64, D3DFMT_A8R8G8B8, [](UINT x, UINT) { return (x % 2) ? 0xFFFFFFFFu : 0xFF000000u; });
    device_->SetTexture(0, stripes);
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    const auto white = D3DCOLOR_XRGB(255, 255, 255);

    clear(0);
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, white), kColorFvf), D3D_OK);
    const Frame blended = present();
    for (int x = 1; x < 63; ++x) EXPECT_NEAR(red(blended.at(x, 20)), 128, 8) << "x " << x;

    const float half = 1.0f / 64.0f;  // half a pixel in clip units
    const Rect shifted{-1.0f - half, 1.0f + half, 1.0f - half, -1.0f + half};
    clear(0);
    ASSERT_EQ(drawStrip(colorQuad(shifted, 0.5f, white), kColorFvf), D3D_OK);
    const Frame exact = present();
    for (int x = 0; x < 64; ++x)
        EXPECT_NEAR(red(exact.at(x, 20)), (x % 2) ? 255 : 0, 3) << "x " << x;
    stripes->Release();
}

// Direct3D's top-left rule: a pixel centre exactly on an edge belongs to the
// triangle when that edge is a top edge (horizontal, above the third vertex) or
// a left edge (the triangle lies to its right). Points are in pixels, y down,
// with pixel centres on integers.
struct PixelPoint {
    int x, y;
};

std::vector<bool> topLeftCoverage(PixelPoint a, PixelPoint b, PixelPoint c, int width, int height) {
    const PixelPoint v[3] = {a, b, c};
    const long long area = 1LL * (b.x - a.x) * (c.y - a.y) - 1LL * (b.y - a.y) * (c.x - a.x);
    const int sign = area > 0 ? 1 : -1;  // makes the inside positive
    std::vector<bool> covered(static_cast<size_t>(width) * height);
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            bool inside = true;
            for (int i = 0; i < 3 && inside; ++i) {
                const PixelPoint p = v[i], q = v[(i + 1) % 3], other = v[(i + 2) % 3];
                const long long e = sign * (1LL * (q.x - p.x) * (py - p.y) - 1LL * (q.y - p.y) * (px - p.x));
                const bool top = p.y == q.y && other.y > p.y;
                const bool left = p.y != q.y && sign * (q.y - p.y) < 0;  // inside lies to the right
                inside = e > 0 || (e == 0 && (top || left));
            }
            covered[static_cast<size_t>(py) * width + px] = inside;
        }
    }
    return covered;
}

TEST_F(GlDeviceTest, EdgesThroughPixelCentresFollowTheTopLeftRule) {
    // Triangles with corners on pixel centres and edges of many slopes, so that
    // many centres lie exactly on an edge; each must cover exactly the pixels
    // the rule gives, in either winding.
    constexpr int kSide = 64;
    auto clip = [](PixelPoint p) {
        return std::array<float, 2>{2.0f * p.x / kSide - 1.0f, 1.0f - 2.0f * p.y / kSide};
    };
    const PixelPoint triangles[][3] = {
        {{8, 8}, {40, 24}, {12, 50}},  {{32, 4}, {60, 60}, {4, 44}},   {{5, 10}, {59, 10}, {30, 37}},
        {{30, 6}, {57, 33}, {3, 33}},  {{10, 10}, {50, 30}, {10, 50}}, {{2, 61}, {62, 1}, {62, 61}},
        {{20, 3}, {23, 60}, {17, 45}}, {{6, 20}, {58, 27}, {31, 55}},
    };
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const auto white = D3DCOLOR_XRGB(255, 255, 255);
    for (const auto& t : triangles) {
        for (bool reverse : {false, true}) {
            const PixelPoint a = t[0], b = reverse ? t[2] : t[1], c = reverse ? t[1] : t[2];
            std::array<gltest::ColorVertex, 3> vertices{};
            const PixelPoint corners[3] = {a, b, c};
            for (int i = 0; i < 3; ++i) {
                const auto xy = clip(corners[i]);
                vertices[i] = {xy[0], xy[1], 0.5f, white, 0.0f, 0.0f};
            }
            clear(0);
            ASSERT_EQ(drawStrip(vertices, kColorFvf), D3D_OK);
            const Frame frame = present();
            const std::vector<bool> expected = topLeftCoverage(a, b, c, kSide, kSide);
            int wrong = 0;
            for (int y = 0; y < kSide; ++y) {
                for (int x = 0; x < kSide; ++x) {
                    const bool drawn = frame.at(x, y) == 0xFFFFFFFFu;
                    if (drawn != expected[static_cast<size_t>(y) * kSide + x] && ++wrong <= 4) {
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") of triangle (" << a.x << "," << a.y
                                      << ") (" << b.x << "," << b.y << ") (" << c.x << "," << c.y << ") "
                                      << (drawn ? "drawn" : "not drawn");
                    }
                }
            }
        }
    }
}

TEST_F(GlDeviceTest, AddressModesWrapClampAndMirror) {
    // Texel 0 red, texel 1 blue; u runs 0..2 over the quad.
    IDirect3DTexture8* texture = makeTexture(
        2, 1, D3DFMT_A8R8G8B8, [](UINT x, UINT) { return x ? 0xFF0000FFu : 0xFFFF0000u; });
    device_->SetTexture(0, texture);
    auto quad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255));
    for (auto& v : quad) v.u *= 2.0f;
    // The quarters of the screen read u = 0..0.5, 0.5..1, 1..1.5, 1.5..2.
    const struct {
        DWORD mode;
        uint32_t quarters[4];
    } cases[] = {
        {D3DTADDRESS_WRAP, {0xFFFF0000, 0xFF0000FF, 0xFFFF0000, 0xFF0000FF}},
        {D3DTADDRESS_CLAMP, {0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF}},
        {D3DTADDRESS_MIRROR, {0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000}},
    };
    for (const auto& c : cases) {
        device_->SetTextureStageState(0, D3DTSS_ADDRESSU, c.mode);
        clear(0);
        ASSERT_EQ(drawStrip(quad, kColorFvf), D3D_OK);
        const Frame frame = present();
        for (int q = 0; q < 4; ++q) {
            EXPECT_EQ(frame.at(q * 16 + 8, 32), c.quarters[q])
                << "mode " << c.mode << " quarter " << q;
        }
    }
    texture->Release();
}

// ---------------------------------------------------------------------------
// Blending and depth

TEST_F(GlDeviceTest, AlphaAndAdditiveBlending) {
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    clear(D3DCOLOR_XRGB(0, 0, 200));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(0x80, 255, 100, 0)), kColorFvf),
              D3D_OK);
    // 0x80 = 0.502: 255 * 0.502 = 128, 100 * 0.502 = 50, 200 * 0.498 = 100.
    EXPECT_TRUE(colorNear(present().centre(), 0xFF803264, 1));

    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    clear(D3DCOLOR_XRGB(100, 0, 200));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(0x10, 100, 50, 100)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFFC832FFu) << "added and saturated";

    device_->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT);
    clear(D3DCOLOR_XRGB(100, 100, 100));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(30, 0, 200)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFF466400u) << "destination minus source";
}

TEST_F(GlDeviceTest, DepthTestKeepsTheNearerQuad) {
    const Rect left{-1.0f, 1.0f, 0.0f, -1.0f};
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.3f, D3DCOLOR_XRGB(255, 0, 0)), kColorFvf), D3D_OK);
    ASSERT_EQ(drawStrip(colorQuad(left, 0.7f, D3DCOLOR_XRGB(0, 255, 0)), kColorFvf), D3D_OK);
    Frame frame = present();
    EXPECT_EQ(frame.at(16, 32), 0xFFFF0000u) << "the farther quad is hidden";

    // ZFUNC ALWAYS lets it through; without ZWRITEENABLE it leaves no depth.
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    ASSERT_EQ(drawStrip(colorQuad(left, 0.7f, D3DCOLOR_XRGB(0, 255, 0)), kColorFvf), D3D_OK);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.3f, D3DCOLOR_XRGB(0, 0, 255)), kColorFvf), D3D_OK);
    frame = present();
    EXPECT_EQ(frame.at(16, 32), 0xFF0000FFu) << "depth still 0.3 there, and 0.3 <= 0.3";

    // ZENABLE FALSE draws regardless of depth.
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    ASSERT_EQ(drawStrip(colorQuad(left, 0.9f, D3DCOLOR_XRGB(255, 255, 0)), kColorFvf), D3D_OK);
    EXPECT_EQ(present().at(16, 32), 0xFFFFFF00u);
}

// ---------------------------------------------------------------------------
// Culling

TEST_F(GlDeviceTest, CullModeRemovesTheNamedWinding) {
    const auto clockwise = colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 0, 0));
    const auto counterClockwise = reversed(clockwise);
    auto visible = [&](const std::array<gltest::ColorVertex, 4>& quad) {
        clear(D3DCOLOR_XRGB(0, 0, 0));
        EXPECT_EQ(drawStrip(quad, kColorFvf), D3D_OK);
        return present().centre() == 0xFFFF0000u;
    };
    // Default CCW: counter-clockwise triangles (on screen) are removed.
    EXPECT_TRUE(visible(clockwise));
    EXPECT_FALSE(visible(counterClockwise));
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    EXPECT_FALSE(visible(clockwise));
    EXPECT_TRUE(visible(counterClockwise));
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    EXPECT_TRUE(visible(clockwise));
    EXPECT_TRUE(visible(counterClockwise));
}

TEST_F(GlDeviceTest, WindingIsJudgedOnScreenAfterTheTransforms) {
    // A view that mirrors x turns the clockwise quad counter-clockwise on screen.
    D3DMATRIX mirror{};
    mirror._11 = -1.0f;
    mirror._22 = mirror._33 = mirror._44 = 1.0f;
    device_->SetTransform(D3DTS_VIEW, &mirror);
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 0, 0)), kColorFvf), D3D_OK);
    EXPECT_EQ(present().centre(), 0xFF000000u);
}

// ---------------------------------------------------------------------------
// Scenes, back buffer, pacing

TEST_F(GlDeviceTest, SceneBracketsMustPair) {
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL) << "no scene open";
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL) << "nested";
    // Present inside a scene is tolerated and the scene stays open.
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3D_OK);
}

TEST_F(GlDeviceTest, WindowedBackBufferFollowsTheClientArea) {
    DeviceOptions options;
    options.windowWidth = 80;
    options.windowHeight = 48;
    createDevice(options);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DVIEWPORT8 viewport{};
    device_->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 80u);
    EXPECT_EQ(viewport.Height, 48u);
    const Rect bottomRight{0.0f, 0.0f, 1.0f, -1.0f};
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(colorQuad(bottomRight, 0.5f, D3DCOLOR_XRGB(0, 255, 0)), kColorFvf), D3D_OK);
    const Frame frame = present();
    EXPECT_EQ(frame.width, 80);
    EXPECT_EQ(frame.height, 48);
    EXPECT_EQ(frame.at(79, 47), 0xFF00FF00u);
    EXPECT_EQ(frame.at(40, 24), 0xFF00FF00u);
    EXPECT_EQ(frame.at(39, 23), 0xFF000000u);
}

TEST_F(GlDeviceTest, ExplicitBackBufferSizeAndAlphaFormat) {
    DeviceOptions options;
    options.width = 32;
    options.height = 16;
    options.backBufferFormat = D3DFMT_A8R8G8B8;
    createDevice(options);
    clear(D3DCOLOR_ARGB(0x40, 1, 2, 3));
    const Frame frame = present();
    EXPECT_EQ(frame.width, 32);
    EXPECT_EQ(frame.height, 16);
    EXPECT_EQ(frame.at(5, 5), 0x40010203u) << "an A8R8G8B8 back buffer keeps alpha";
}

TEST_F(GlDeviceTest, PacedPresentsNeverRunFasterThanTheRefreshRate) {
    D3DDISPLAYMODE mode{};
    d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    ASSERT_GT(mode.RefreshRate, 0u);
    d3d8::setPresentPacing(true);
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    const auto start = std::chrono::steady_clock::now();
    const int frames = 4;
    for (int i = 0; i < frames; ++i) device_->Present(nullptr, nullptr, nullptr, nullptr);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A lower bound only: slow machines pass, an unpaced loop does not.
    EXPECT_GE(elapsed, frames / static_cast<double>(mode.RefreshRate) * 0.9);
}

}  // namespace
