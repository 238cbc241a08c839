// The fixed-function emulation of the OpenGL back end, checked by pixel:
// per-vertex lighting, material sources, texture stage operations and
// arguments, texture coordinate generation and matrices, pre-transformed
// vertices, alpha test and indexed drawing.
#include <cmath>
#include <cstring>

#include "gl_test_util.h"

namespace {

using gltest::colorNear;
using gltest::colorQuad;
using gltest::Frame;
using gltest::green;
using gltest::kColorFvf;
using gltest::kFullScreen;
using gltest::kNormalFvf;
using gltest::kTwoSetFvf;
using gltest::normalQuad;
using gltest::red;

constexpr float kPi = 3.14159265f;
constexpr D3DVECTOR kFacingCamera{0.0f, 0.0f, -1.0f};

D3DMATRIX identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DLIGHT8 directionalLight(D3DVECTOR direction, D3DCOLORVALUE diffuse,
                           D3DCOLORVALUE specular = {}) {
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = diffuse;
    light.Specular = specular;
    light.Direction = direction;
    return light;
}

// A direction that makes `angle` (radians) with the light travelling into the
// screen, tilted towards +x.
D3DVECTOR tilted(float angle) { return {std::sin(angle), 0.0f, std::cos(angle)}; }

uint32_t scaled(int r, int g, int b, float f) {
    auto c = [f](int v) { return static_cast<uint32_t>(std::lround(v * f)); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

class GlFixedFunctionTest : public gltest::DeviceTest {
protected:
    Frame drawLit(D3DVECTOR normal, D3DCOLOR color) {
        clear(D3DCOLOR_XRGB(0, 0, 0));
        EXPECT_EQ(drawStrip(normalQuad(kFullScreen, 0.5f, normal, color), kNormalFvf), D3D_OK);
        return present();
    }
};

// ---------------------------------------------------------------------------
// Lighting

TEST_F(GlFixedFunctionTest, DirectionalLightScalesTheVertexColourByNDotL) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    const struct {
        float angle;
        float nDotL;
    } cases[] = {{0.0f, 1.0f}, {kPi / 3, 0.5f}, {kPi / 2, 0.0f}, {2 * kPi / 3, 0.0f}};
    for (const auto& c : cases) {
        const D3DLIGHT8 light = directionalLight(tilted(c.angle), {1, 1, 1, 1});
        ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
        ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
        // COLORVERTEX with DIFFUSEMATERIALSOURCE COLOR1: the vertex colour is the
        // diffuse material.
        const Frame frame = drawLit(kFacingCamera, D3DCOLOR_XRGB(200, 100, 50));
        EXPECT_TRUE(colorNear(frame.centre(), scaled(200, 100, 50, c.nDotL), 2))
            << "N.L " << c.nDotL;
    }
    // A disabled light no longer lights.
    device_->LightEnable(0, FALSE);
    EXPECT_EQ(drawLit(kFacingCamera, D3DCOLOR_XRGB(200, 100, 50)).centre(), 0xFF000000u);
}

TEST_F(GlFixedFunctionTest, LightsAddUpAndSaturate) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    const D3DLIGHT8 half = directionalLight(tilted(kPi / 3), {1, 1, 1, 1});
    const D3DLIGHT8 red = directionalLight(tilted(0), {1, 0, 0, 1});
    device_->SetLight(0, &half);
    device_->SetLight(5, &red);
    device_->LightEnable(0, TRUE);
    device_->LightEnable(5, TRUE);
    EXPECT_TRUE(
        colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(), 0xFFFF8080, 2));
}

TEST_F(GlFixedFunctionTest, GlobalAmbientLightsTheMaterialAmbient) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    // Lit geometry without normals and with the zero default material is black,
    // whatever its vertex colour.
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_EQ(present().centre(), 0xFF000000u);

    D3DMATERIAL8 material{};
    material.Ambient = {1.0f, 0.5f, 0.25f, 1.0f};
    device_->SetMaterial(&material);
    device_->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(0x40, 0x40, 0x40));
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFF402010, 1));

    // Emissive adds on top.
    material.Emissive = {0.0f, 0.0f, 0.5f, 0.0f};
    device_->SetMaterial(&material);
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
              D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFF402090, 1));
}

TEST_F(GlFixedFunctionTest, WithoutColorVertexTheMaterialDiffuseIsUsed) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    const D3DLIGHT8 light = directionalLight(tilted(0), {1, 1, 1, 1});
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    D3DMATERIAL8 material{};
    material.Diffuse = {0.0f, 1.0f, 0.0f, 1.0f};
    device_->SetMaterial(&material);
    device_->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    EXPECT_TRUE(
        colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 0, 0)).centre(), 0xFF00FF00, 1));
    // Diffuse from the material while the vertex colour stays the source of
    // nothing else.
    device_->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    EXPECT_TRUE(
        colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 0, 0)).centre(), 0xFF00FF00, 1));
}

TEST_F(GlFixedFunctionTest, ScaledNormalsChangeBrightnessUnlessNormalized) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    const D3DLIGHT8 light = directionalLight(tilted(0), {1, 1, 1, 1});
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    // World doubles everything; normals go through its inverse transpose and
    // come out half as long.
    D3DMATRIX world = identity();
    world._11 = world._22 = world._33 = 2.0f;
    device_->SetTransform(D3DTS_WORLD, &world);
    const gltest::Rect half{-0.5f, 0.5f, 0.5f, -0.5f};
    auto draw = [&] {
        clear(D3DCOLOR_XRGB(0, 0, 0));
        EXPECT_EQ(drawStrip(normalQuad(half, 0.25f, kFacingCamera, D3DCOLOR_XRGB(200, 100, 50)),
                            kNormalFvf),
                  D3D_OK);
        return present().centre();
    };
    EXPECT_TRUE(colorNear(draw(), scaled(200, 100, 50, 0.5f), 2));
    device_->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    EXPECT_TRUE(colorNear(draw(), scaled(200, 100, 50, 1.0f), 2));
}

TEST_F(GlFixedFunctionTest, SpecularIsAddedOnlyWhenEnabled) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_LOCALVIEWER, FALSE);  // the same halfway vector everywhere
    D3DMATERIAL8 material{};
    material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Power = 2.0f;
    device_->SetMaterial(&material);
    // Black vertices: only specular can light them. The FVF has no specular
    // colour, so the specular material source falls back to the material.
    D3DLIGHT8 light = directionalLight(tilted(0), {0, 0, 0, 0}, {1, 1, 1, 1});
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    EXPECT_EQ(drawLit(kFacingCamera, D3DCOLOR_XRGB(0, 0, 0)).centre(), 0xFF000000u)
        << "off by default";

    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    EXPECT_TRUE(colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(0, 0, 0)).centre(), 0xFFFFFFFF, 1))
        << "N.H = 1";
    // Light at 60 degrees: H halfway between it and the viewer, N.H = cos 30,
    // raised to the power 2 gives 0.75.
    light.Direction = tilted(kPi / 3);
    device_->SetLight(0, &light);
    EXPECT_TRUE(colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(0, 0, 0)).centre(),
                          scaled(255, 255, 255, 0.75f), 2));
}

TEST_F(GlFixedFunctionTest, PointLightFallsOffWithDistance) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1, 1, 1, 1};
    light.Position = {0.0f, 0.0f, 0.0f};  // at the camera
    light.Range = 10.0f;
    light.Attenuation0 = 1.0f;
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    // Every corner of the quad is 1.5 away with N.L = 0.5 / 1.5.
    EXPECT_TRUE(colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(),
                          scaled(255, 255, 255, 1.0f / 3.0f), 2));
    light.Attenuation0 = 0.0f;
    light.Attenuation1 = 1.0f;  // 1 / distance
    device_->SetLight(0, &light);
    EXPECT_TRUE(colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(),
                          scaled(255, 255, 255, 2.0f / 9.0f), 2));
    light.Range = 1.0f;  // out of range
    device_->SetLight(0, &light);
    EXPECT_EQ(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(), 0xFF000000u);
}

// ---------------------------------------------------------------------------
// Texture stages

TEST_F(GlFixedFunctionTest, StageOperationsAndArguments) {
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_ARGB(0x40, 0x80, 0x40, 0x20));
    device_->SetTexture(0, texture);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(0x80, 0x10, 0x20, 0x30));
    const D3DCOLOR diffuse = D3DCOLOR_XRGB(0x60, 0x60, 0xFF);
    const struct {
        DWORD op, arg1, arg2;
        uint32_t expected;
        const char* what;
    } cases[] = {
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFF804020, "texture"},
        {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFF6060FF, "diffuse"},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0xFF102030, "texture factor"},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, 0xFF301820,
         "current is diffuse at stage 0"},
        {D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFF603040, "twice, saturated"},
        {D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFFC06080, "four times"},
        {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFFE0A0FF, "added, saturated"},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0xFF7FBFDF,
         "1 - texture"},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, 0xFF404040,
         "texture alpha everywhere"},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE,
         0xFF7F7F7F, "1 - factor alpha"},
    };
    for (const auto& c : cases) {
        device_->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
        clear(D3DCOLOR_XRGB(0, 0, 0));
        ASSERT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, diffuse), kColorFvf), D3D_OK);
        EXPECT_TRUE(colorNear(present().centre(), c.expected, 1)) << c.what;
    }
    texture->Release();
}

TEST_F(GlFixedFunctionTest, StageOneModulatesCurrentWithItsOwnTextureAndCoordinates) {
    // Stage 0: texture A times diffuse. Stage 1: texture B (read at coordinate
    // set 1, its default TEXCOORDINDEX) times the result of stage 0.
    IDirect3DTexture8* a = solidTexture(D3DCOLOR_XRGB(255, 128, 255));
    IDirect3DTexture8* b = makeTexture(2, 1, D3DFMT_A8R8G8B8, [](UINT x, UINT) {
        return x ? D3DCOLOR_XRGB(128, 128, 0) : D3DCOLOR_XRGB(0, 0, 0);
    });
    device_->SetTexture(0, a);
    device_->SetTexture(1, b);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    auto v = [](float x, float y, float u0) {
        return gltest::TwoSetVertex{x,  y,    0.5f,  0,   0, -1, D3DCOLOR_XRGB(255, 255, 255),
                                    u0, 0.0f, 0.75f, 0.5f};
    };
    const std::array<gltest::TwoSetVertex, 4> quad{
        {v(-1, 1, 0), v(1, 1, 1), v(-1, -1, 0), v(1, -1, 1)}};
    clear(D3DCOLOR_XRGB(0, 0, 255));
    ASSERT_EQ(drawStrip(quad, kTwoSetFvf), D3D_OK);
    EXPECT_TRUE(colorNear(present().centre(), 0xFF804000, 1));
    a->Release();
    b->Release();
}

TEST_F(GlFixedFunctionTest, TextureMatrixOnPassThroughCoordinatesTranslatesByTheThirdRow) {
    // Two-float coordinates enter the matrix as (u, v, 1, 0): _31 shifts u,
    // _41 does nothing.
    IDirect3DTexture8* texture = makeTexture(2, 1, D3DFMT_A8R8G8B8, [](UINT x, UINT) {
        return x ? D3DCOLOR_XRGB(0, 0, 255) : D3DCOLOR_XRGB(255, 0, 0);
    });
    device_->SetTexture(0, texture);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    auto leftPixel = [&](const D3DMATRIX& m) {
        device_->SetTransform(D3DTS_TEXTURE0, &m);
        clear(0);
        EXPECT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 255, 255)), kColorFvf),
                  D3D_OK);
        return present().at(8, 32);
    };
    D3DMATRIX m = identity();
    EXPECT_EQ(leftPixel(m), 0xFFFF0000u);
    m._31 = 0.5f;
    EXPECT_EQ(leftPixel(m), 0xFF0000FFu);
    m._31 = 0.0f;
    m._41 = 0.5f;
    EXPECT_EQ(leftPixel(m), 0xFFFF0000u);
    texture->Release();
}

TEST_F(GlFixedFunctionTest, CameraSpaceNormalsMakeSphereMapCoordinates) {
    // A texture whose texel (x, y) encodes its own coordinates: red = 4x + 2,
    // green = 4y + 2. Each quad has one normal everywhere, so every pixel reads
    // the same coordinates.
    IDirect3DTexture8* coordinates = makeTexture(64, 64, D3DFMT_A8R8G8B8, [](UINT x, UINT y) {
        return D3DCOLOR_XRGB(4 * x + 2, 4 * y + 2, 0);
    });
    device_->SetTexture(0, coordinates);
    device_->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    // u = 0.5 nx + 0.5, v = -0.5 ny + 0.5
    D3DMATRIX sphereMap{};
    sphereMap._11 = 0.5f;
    sphereMap._22 = -0.5f;
    sphereMap._33 = 1.0f;
    sphereMap._41 = 0.5f;
    sphereMap._42 = 0.5f;
    sphereMap._44 = 1.0f;
    device_->SetTransform(D3DTS_TEXTURE0, &sphereMap);

    auto lookup = [&](D3DVECTOR normal, float& u, float& v) {
        const uint32_t c = drawLit(normal, D3DCOLOR_XRGB(255, 255, 255)).centre();
        u = red(c) / 256.0f;
        v = green(c) / 256.0f;
    };
    const struct {
        D3DVECTOR normal;
        float u, v;
    } cases[] = {
        {{0, 0, -1}, 0.5f, 0.5f},
        {{1, 0, 0}, 1.0f, 0.5f},
        {{0, 1, 0}, 0.5f, 0.0f},
        {{-1, 0, 0}, 0.0f, 0.5f},
    };
    for (const auto& c : cases) {
        float u = -1, v = -1;
        lookup(c.normal, u, v);
        EXPECT_NEAR(u, c.u, 1.0f / 32)
            << "normal " << c.normal.x << "," << c.normal.y << "," << c.normal.z;
        EXPECT_NEAR(v, c.v, 1.0f / 32)
            << "normal " << c.normal.x << "," << c.normal.y << "," << c.normal.z;
    }

    // The normal is taken in camera space: a world turned 90 degrees about z
    // takes (1, 0, 0) to (0, 1, 0).
    D3DMATRIX turn{};
    turn._12 = 1.0f;
    turn._21 = -1.0f;
    turn._33 = turn._44 = 1.0f;
    device_->SetTransform(D3DTS_WORLD, &turn);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    float u = -1, v = -1;
    lookup({1, 0, 0}, u, v);
    EXPECT_NEAR(u, 0.5f, 1.0f / 32);
    EXPECT_NEAR(v, 0.0f, 1.0f / 32);
    coordinates->Release();
}

// ---------------------------------------------------------------------------
// Pre-transformed vertices, alpha test, indexed drawing

TEST_F(GlFixedFunctionTest, PretransformedVerticesAreScreenPixels) {
    struct ScreenVertex {
        float x, y, z, rhw;
        D3DCOLOR color;
    };
    const D3DCOLOR c = D3DCOLOR_XRGB(0, 200, 100);
    // Pixels 0..31 in both directions; Direct3D samples pixel centres at integers.
    const std::array<ScreenVertex, 4> quad{
        {{0, 0, 0.5f, 1, c}, {32, 0, 0.5f, 1, c}, {0, 32, 0.5f, 1, c}, {32, 32, 0.5f, 1, c}}};
    clear(D3DCOLOR_XRGB(0, 0, 0));
    ASSERT_EQ(drawStrip(quad, D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
    const Frame frame = present();
    EXPECT_EQ(frame.at(0, 0), 0xFF00C864u);
    EXPECT_EQ(frame.at(31, 31), 0xFF00C864u);
    EXPECT_EQ(frame.at(32, 31), 0xFF000000u);
    EXPECT_EQ(frame.at(31, 32), 0xFF000000u);
}

TEST_F(GlFixedFunctionTest, AlphaTestComparesWithTheReference) {
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
    auto drawn = [&](int vertexAlpha) {
        clear(D3DCOLOR_XRGB(0, 0, 0));
        EXPECT_EQ(drawStrip(colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(vertexAlpha, 255, 0, 0)),
                            kColorFvf),
                  D3D_OK);
        return present().centre() == 0xFFFF0000u;
    };
    EXPECT_FALSE(drawn(0x80));
    EXPECT_TRUE(drawn(0x81));
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    EXPECT_TRUE(drawn(0x00));
}

TEST_F(GlFixedFunctionTest, IndexedDrawingUsesStartIndexAndBaseVertex) {
    // Two quads in one vertex buffer (red, then green) and two index lists.
    std::array<gltest::ColorVertex, 8> vertices;
    const auto redQuad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 0, 0));
    const auto greenQuad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(0, 255, 0));
    std::copy(redQuad.begin(), redQuad.end(), vertices.begin());
    std::copy(greenQuad.begin(), greenQuad.end(), vertices.begin() + 4);
    const uint16_t indices[] = {0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7};

    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, kColorFvf,
                                          D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    ASSERT_EQ(device_->CreateIndexBuffer(sizeof indices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                         D3DPOOL_DEFAULT, &ib),
              D3D_OK);
    BYTE* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), sizeof vertices);
    vb->Unlock();
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    device_->SetStreamSource(0, vb, sizeof(gltest::ColorVertex));
    device_->SetVertexShader(kColorFvf);

    auto draw = [&](UINT base, UINT start) {
        device_->SetIndices(ib, base);
        clear(0);
        EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, start, 2), D3D_OK);
        return present().centre();
    };
    EXPECT_EQ(draw(0, 0), 0xFFFF0000u);
    EXPECT_EQ(draw(0, 6), 0xFF00FF00u) << "start index";
    EXPECT_EQ(draw(4, 0), 0xFF00FF00u) << "base vertex index";
    // Base 4 with the second list would read vertices 8..11, past the buffer.
    device_->SetIndices(ib, 4);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 6, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 8, 2), D3DERR_INVALIDCALL)
        << "indices past the index buffer";
    vb->Release();
    ib->Release();
}

TEST_F(GlFixedFunctionTest, FlatShadingTakesEachTrianglesFirstVertex) {
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    auto quad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_XRGB(255, 0, 0));
    quad[1].color = D3DCOLOR_XRGB(0, 255, 0);
    quad[2].color = D3DCOLOR_XRGB(0, 0, 255);
    quad[3].color = D3DCOLOR_XRGB(255, 255, 255);
    clear(0);
    ASSERT_EQ(drawStrip(quad, kColorFvf), D3D_OK);
    const Frame frame = present();
    EXPECT_EQ(frame.at(4, 4), 0xFFFF0000u) << "triangle 0 starts at vertex 0";
    EXPECT_EQ(frame.at(60, 60), 0xFF00FF00u) << "triangle 1 starts at vertex 1";
}

TEST_F(GlFixedFunctionTest, SpotLightLightsInsideItsCone) {
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_SPOT;
    light.Diffuse = {1, 1, 1, 1};
    light.Position = {0.0f, 0.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    light.Range = 10.0f;
    light.Attenuation0 = 1.0f;
    light.Falloff = 1.0f;
    // Every corner of the quad is off the axis by acos(0.5 / 1.5) = 70.5 degrees
    // and 1.5 away (N.L = 1/3). Inside the inner cone (theta/2 = 71.6 degrees):
    light.Theta = 2.5f;
    light.Phi = 3.0f;
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    EXPECT_TRUE(colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(),
                          scaled(255, 255, 255, 1.0f / 3.0f), 2));
    // Between the cones: (rho - cos(phi/2)) / (cos(theta/2) - cos(phi/2)) with
    // falloff 1 is (1/3 - 0) / (0.7071 - 0).
    light.Theta = kPi / 2;
    light.Phi = kPi;
    device_->SetLight(0, &light);
    EXPECT_TRUE(colorNear(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(),
                          scaled(255, 255, 255, (1.0f / 3.0f) * (1.0f / 3.0f) / 0.70711f), 2));
    // Outside the outer cone.
    light.Theta = 0.2f;
    light.Phi = 0.4f;
    device_->SetLight(0, &light);
    EXPECT_EQ(drawLit(kFacingCamera, D3DCOLOR_XRGB(255, 255, 255)).centre(), 0xFF000000u);
}

TEST_F(GlFixedFunctionTest, UnusualConfigurationsStillBuildAndDraw) {
    // The branches of the program generator, each in a draw that must succeed.
    IDirect3DTexture8* texture = solidTexture(D3DCOLOR_ARGB(0x80, 10, 20, 30));
    for (DWORD stage = 0; stage < 8; ++stage) device_->SetTexture(stage, texture);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device_->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    D3DLIGHT8 light{};
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    light.Range = 5.0f;
    light.Attenuation0 = 1.0f;
    light.Phi = 1.0f;
    light.Theta = 0.5f;
    auto setLights = [&](DWORD count) {
        for (DWORD i = 0; i < 10; ++i) {
            light.Type = static_cast<D3DLIGHTTYPE>(1 + i % 3);
            device_->SetLight(i, &light);
            device_->LightEnable(i, i < count);
        }
    };
    const DWORD generators[] = {D3DTSS_TCI_CAMERASPACENORMAL,
                                D3DTSS_TCI_CAMERASPACEPOSITION,
                                D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR,
                                0,
                                1,
                                5};
    const DWORD args[] = {D3DTA_DIFFUSE, D3DTA_CURRENT,  D3DTA_TEXTURE,
                          D3DTA_TFACTOR, D3DTA_SPECULAR, D3DTA_TEMP};
    auto setStage = [&](DWORD stage, DWORD op) {
        device_->SetTextureStageState(stage, D3DTSS_COLOROP, op);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAOP, (op + stage) % 17);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG1,
                                      args[(op + stage) % 6] | D3DTA_COMPLEMENT);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAARG2, args[(op + 2 * stage) % 6]);
        device_->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, generators[(op + stage) % 6]);
        device_->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS,
                                      (op + stage) % 5 | ((op % 2) ? D3DTTFF_PROJECTED : 0));
    };
    const auto quad = normalQuad(kFullScreen, 0.5f, kFacingCamera, D3DCOLOR_XRGB(255, 255, 255));
    // Every operation number up to 27 (unknown ones too) on two stages, with
    // one light of each type in turn and the other switches flipping.
    for (DWORD op = D3DTOP_SELECTARG1; op <= 14; ++op) {
        setLights(1 + op % 3);
        setStage(0, op);
        setStage(1, op + 13);
        device_->SetRenderState(D3DRS_SHADEMODE, op % 2 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
        device_->SetRenderState(D3DRS_ALPHAFUNC, 1 + op % 8);
        device_->SetRenderState(D3DRS_LOCALVIEWER, op % 3 == 0);
        device_->SetRenderState(D3DRS_FILLMODE, op % 4 == 0 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
        EXPECT_EQ(drawStrip(quad, kNormalFvf), D3D_OK) << "operation " << op;
    }
    // Everything at once: eight stages, eight of ten lights.
    setLights(10);
    for (DWORD stage = 0; stage < 8; ++stage) setStage(stage, D3DTOP_MODULATE + stage);
    EXPECT_EQ(drawStrip(quad, kNormalFvf), D3D_OK) << "eight stages and lights";
    struct ScreenVertex {
        float x, y, z, rhw;
        D3DCOLOR color;
        float u, v;
    };
    const std::array<ScreenVertex, 3> triangle{
        {{0, 0, 0, 1, 0, 0, 0}, {9, 0, 0, 1, 0, 1, 0}, {0, 9, 0, 1, 0, 0, 1}}};
    EXPECT_EQ(drawStrip(triangle, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1), D3D_OK)
        << "pre-transformed";
    texture->Release();
}

}  // namespace
