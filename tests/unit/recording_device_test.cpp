// The recording Direct3D 8 back end: call log and texts, state round trips and
// defaults, planned failures, buffer and texture memory, reference counting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "d3d8.h"
#include "d3d8_backend.h"
#include "recording/recording.h"

namespace {

using d3d8::recording::liveObjects;
using d3d8::recording::recorder;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

HWND fakeWindow() { return reinterpret_cast<HWND>(uintptr_t{0x1234}); }

D3DPRESENT_PARAMETERS fullScreenParameters() {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 640;
    p.BackBufferHeight = 480;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 2;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = FALSE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    return p;
}

D3DPRESENT_PARAMETERS windowedParameters() {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 320;
    p.BackBufferHeight = 200;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    return p;
}

D3DMATRIX matrixOf(float first) {
    D3DMATRIX m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = first + static_cast<float>(i);
    return m;
}

bool sameBytes(const void* a, const void* b, size_t size) { return std::memcmp(a, b, size) == 0; }

class RecordingDevice : public ::testing::Test {
protected:
    void SetUp() override {
        d3d8::selectBackend(d3d8::Backend::Recording);
        recorder().reset();
        baseline_ = liveObjects();
    }

    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        recorder().reset();
        EXPECT_EQ(liveObjects(), baseline_) << "recording objects were left alive";
    }

    // A Direct3D object and a device made with `parameters`; the log is cleared
    // afterwards so tests see only their own calls.
    void createDevice(D3DPRESENT_PARAMETERS parameters = fullScreenParameters()) {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, fakeWindow(),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &device),
                  D3D_OK);
        ASSERT_NE(device, nullptr);
        recorder().clearCalls();
    }

    IDirect3DVertexBuffer8* createVertexBuffer(UINT length) {
        IDirect3DVertexBuffer8* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_MANAGED, &vb), D3D_OK);
        return vb;
    }

    IDirect3DTexture8* createTexture(UINT width, UINT height, UINT levels, D3DFORMAT format) {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture), D3D_OK);
        return texture;
    }

    DWORD renderState(D3DRENDERSTATETYPE state) {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(device->GetRenderState(state, &value), D3D_OK);
        return value;
    }

    DWORD stageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(device->GetTextureStageState(stage, type, &value), D3D_OK);
        return value;
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;

private:
    int baseline_ = 0;
};

std::vector<std::string> methodsOf(const std::vector<d3d8::recording::Call>& calls) {
    std::vector<std::string> methods;
    for (const auto& call : calls) methods.push_back(call.method);
    return methods;
}

// ---------------------------------------------------------------------------
// The call log

TEST_F(RecordingDevice, RecordsASmallSessionCallForCall) {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters = fullScreenParameters();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                &parameters, &device),
              D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF202020);
    IDirect3DVertexBuffer8* vb = createVertexBuffer(72);
    BYTE* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    vb->Unlock();
    device->SetStreamSource(0, vb, 24);
    device->SetVertexShader(0x142);
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    D3DMATRIX world = d3d8::identityMatrix();
    world._41 = 1.0f;
    world._42 = 2.5f;
    world._43 = -3.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    device = nullptr;
    d3d = nullptr;

    EXPECT_THAT(
        recorder().texts(),
        ElementsAre("Direct3DCreate8(220)",
                    "CreateDevice(0, 1, hwnd, 0x20, {BackBufferWidth=640, BackBufferHeight=480, "
                    "BackBufferFormat=22, BackBufferCount=2, MultiSampleType=0, SwapEffect=1, "
                    "hDeviceWindow=null, Windowed=0, EnableAutoDepthStencil=1, AutoDepthStencilFormat=75, "
                    "Flags=0x0, FullScreen_RefreshRateInHz=0, FullScreen_PresentationInterval=0x0}, out) -> dev1",
                    "SetRenderState(137, 0)", "SetRenderState(139, 0xff202020)",
                    "CreateVertexBuffer(72, 0x8, 0x142, 1, out) -> vb1", "vb1->Lock(0, 0, out, 0x0)",
                    "vb1->Unlock()", "SetStreamSource(0, vb1, 24)", "SetVertexShader(0x142)", "BeginScene()",
                    "Clear(0, null, 0x3, 0xff000000, 1, 0)",
                    "SetTransform(256, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2.5, -3, 1})",
                    "DrawPrimitive(4, 0, 1)", "EndScene()", "Present(null, null, null, null)",
                    "vb1->Release()", "dev1->Release()", "d3d1->Release()"));
    EXPECT_THAT(methodsOf(recorder().calls()),
                ElementsAre("Direct3DCreate8", "CreateDevice", "SetRenderState", "SetRenderState",
                            "CreateVertexBuffer", "IDirect3DVertexBuffer8::Lock", "IDirect3DVertexBuffer8::Unlock",
                            "SetStreamSource", "SetVertexShader", "BeginScene", "Clear", "SetTransform",
                            "DrawPrimitive", "EndScene", "Present", "IDirect3DVertexBuffer8::Release",
                            "IDirect3DDevice8::Release", "IDirect3D8::Release"));
    for (const auto& call : recorder().calls()) EXPECT_EQ(call.result, D3D_OK) << call.text;
    EXPECT_EQ(recorder().count("SetRenderState"), 2u);
    ASSERT_EQ(recorder().callsOf("SetRenderState").size(), 2u);
    EXPECT_EQ(recorder().callsOf("SetRenderState")[1].text, "SetRenderState(139, 0xff202020)");
}

TEST_F(RecordingDevice, TextsSpellStructuresNamesAndReturnedValues) {
    createDevice();
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    light.Direction = {0.0f, -1.0f, 0.5f};
    device->SetLight(2, &light);
    D3DMATERIAL8 material{};
    material.Ambient = {0.1f, 0.2f, 0.3f, 0.4f};
    material.Power = 8.0f;
    device->SetMaterial(&material);
    IDirect3DTexture8* texture = createTexture(4, 4, 1, D3DFMT_A8R8G8B8);
    device->SetTexture(1, texture);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL | 1);
    D3DRECT rect{1, 2, 30, 40};
    device->Clear(1, &rect, D3DCLEAR_TARGET, 0x00000000, 0.5f, 0);
    DWORD value = 0;
    device->GetRenderState(D3DRS_CULLMODE, &value);
    D3DLOCKED_RECT locked;
    RECT area{1, 1, 3, 2};
    texture->LockRect(0, &locked, &area, 0);
    texture->UnlockRect(0);
    texture->Release();

    EXPECT_THAT(
        recorder().texts(),
        ElementsAre("SetLight(2, {Type=3, Diffuse={1, 0.5, 0.25, 1}, Specular={0, 0, 0, 0}, Ambient={0, 0, 0, 0}, "
                    "Position={0, 0, 0}, Direction={0, -1, 0.5}, Range=0, Falloff=0, Attenuation0=0, "
                    "Attenuation1=0, Attenuation2=0, Theta=0, Phi=0})",
                    "SetMaterial({Diffuse={0, 0, 0, 0}, Ambient={0.1, 0.2, 0.3, 0.4}, Specular={0, 0, 0, 0}, "
                    "Emissive={0, 0, 0, 0}, Power=8})",
                    "CreateTexture(4, 4, 1, 0x0, 21, 1, out) -> tex1", "SetTexture(1, tex1)", "SetTexture(0, null)",
                    "SetTextureStageState(0, 11, 0x10001)", "Clear(1, {{1, 2, 30, 40}}, 0x1, 0x00000000, 0.5, 0)",
                    "GetRenderState(22, out) -> 3", "tex1->LockRect(0, out, {1, 1, 3, 2}, 0x0)",
                    "tex1->UnlockRect(0)", "tex1->Release()"));
}

TEST_F(RecordingDevice, ObjectNamesCountPerKindAndRestartAfterReset) {
    createDevice();
    IDirect3DVertexBuffer8* first = createVertexBuffer(24);
    IDirect3DVertexBuffer8* second = createVertexBuffer(24);
    IDirect3DTexture8* texture = createTexture(1, 1, 1, D3DFMT_L8);
    EXPECT_EQ(d3d8::recording::nameOf(first), "vb1");
    EXPECT_EQ(d3d8::recording::nameOf(second), "vb2");
    EXPECT_EQ(d3d8::recording::nameOf(texture), "tex1");
    EXPECT_EQ(d3d8::recording::nameOf(device), "dev1");
    EXPECT_EQ(d3d8::recording::nameOf(nullptr), "null");
    first->Release();
    second->Release();
    texture->Release();
    device->Release();
    d3d->Release();
    device = nullptr;
    d3d = nullptr;

    recorder().reset();
    createDevice();
    EXPECT_EQ(d3d8::recording::nameOf(d3d), "d3d1");
    EXPECT_EQ(d3d8::recording::nameOf(device), "dev1");
}

TEST_F(RecordingDevice, AdapterModeComesFromTheRecorder) {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(mode.Height, 768u);
    EXPECT_EQ(mode.RefreshRate, 60u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    recorder().setAdapterMode(D3DDISPLAYMODE{1920, 1080, 75, D3DFMT_R5G6B5});
    EXPECT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1920u);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(recorder().calls().back().text,
              "GetAdapterDisplayMode(0, out) -> {Width=1920, Height=1080, RefreshRate=75, Format=23}");
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    EXPECT_EQ(recorder().calls().back().result, 1);
}

// ---------------------------------------------------------------------------
// State: defaults of a new device and Get round trips

TEST_F(RecordingDevice, NewDeviceReportsTheDocumentedDefaults) {
    createDevice(windowedParameters());
    struct Expected {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Expected renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},          {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},      {D3DRS_LIGHTING, TRUE},
        {D3DRS_CULLMODE, D3DCULL_CCW},        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},       {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_AMBIENT, 0},                   {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_COLORVERTEX, TRUE},            {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_COLORWRITEENABLE, 0x0000000F}, {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    };
    for (const auto& expected : renderStates) {
        EXPECT_EQ(renderState(expected.state), expected.value) << "render state " << expected.state;
    }
    EXPECT_EQ(stageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(stageState(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(stageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
    EXPECT_EQ(stageState(3, D3DTSS_TEXCOORDINDEX), 3u);
    EXPECT_EQ(stageState(0, D3DTSS_MINFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(stageState(0, D3DTSS_MIPFILTER), static_cast<DWORD>(D3DTEXF_NONE));

    for (D3DTRANSFORMSTATETYPE type : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0,
                                       D3DTS_TEXTURE7, D3DTS_WORLDMATRIX(5)}) {
        D3DMATRIX m = matrixOf(9.0f);
        EXPECT_EQ(device->GetTransform(type, &m), D3D_OK);
        EXPECT_TRUE(sameBytes(&m, &d3d8::identityMatrix(), sizeof m)) << "transform " << type;
    }
    D3DMATERIAL8 material;
    std::memset(&material, 0x55, sizeof material);
    EXPECT_EQ(device->GetMaterial(&material), D3D_OK);
    const D3DMATERIAL8 zero{};
    EXPECT_TRUE(sameBytes(&material, &zero, sizeof material));
    D3DVIEWPORT8 viewport{};
    EXPECT_EQ(device->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.Width, 320u);
    EXPECT_EQ(viewport.Height, 200u);
    EXPECT_EQ(viewport.MaxZ, 1.0f);
    DWORD fvf = 99;
    EXPECT_EQ(device->GetVertexShader(&fvf), D3D_OK);
    EXPECT_EQ(fvf, 0u);
    IDirect3DBaseTexture8* texture = reinterpret_cast<IDirect3DBaseTexture8*>(uintptr_t{1});
    EXPECT_EQ(device->GetTexture(0, &texture), D3D_OK);
    EXPECT_EQ(texture, nullptr);
    D3DLIGHT8 light;
    EXPECT_EQ(device->GetLight(0, &light), D3DERR_INVALIDCALL);  // no light is defined yet
    BOOL enabled;
    EXPECT_EQ(device->GetLightEnable(0, &enabled), D3DERR_INVALIDCALL);
}

TEST_F(RecordingDevice, AWindowedBackBufferOfSizeZeroTakesTheClientArea) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "RecordingDeviceTestWindow";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "test", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 400, 300, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));

    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters = windowedParameters();
    parameters.BackBufferWidth = 0;
    parameters.BackBufferHeight = 0;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                &device),
              D3D_OK);
    D3DVIEWPORT8 viewport{};
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, static_cast<DWORD>(client.right - client.left));
    EXPECT_EQ(viewport.Height, static_cast<DWORD>(client.bottom - client.top));
    EXPECT_GT(viewport.Width, 0u);
    EXPECT_EQ(recorder().lastDeviceCreation()->parameters.BackBufferWidth, 0u);  // the caller's copy is kept
    device->Release();
    device = nullptr;

    // A handle that is no window leaves the size unknown instead of being followed.
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                &device),
              D3D_OK);
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 0u);
    DestroyWindow(window);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

TEST_F(RecordingDevice, ZEnableFollowsTheAutomaticDepthBuffer) {
    D3DPRESENT_PARAMETERS parameters = windowedParameters();
    parameters.EnableAutoDepthStencil = FALSE;
    createDevice(parameters);
    EXPECT_EQ(renderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_FALSE));
    // Without a depth buffer there is nothing to clear but the target.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
}

TEST_F(RecordingDevice, GetCallsReturnWhatWasSet) {
    createDevice();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80FF0000);
    EXPECT_EQ(renderState(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(renderState(D3DRS_TEXTUREFACTOR), 0x80FF0000u);

    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(7, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    EXPECT_EQ(stageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(stageState(7, D3DTSS_TEXTURETRANSFORMFLAGS), static_cast<DWORD>(D3DTTFF_COUNT2));
    EXPECT_EQ(stageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));  // other stages untouched

    // Every transform keeps its own matrix.
    const D3DTRANSFORMSTATETYPE types[] = {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0,
                                           D3DTS_TEXTURE1, D3DTS_WORLDMATRIX(3)};
    for (size_t i = 0; i < std::size(types); ++i) {
        const D3DMATRIX m = matrixOf(static_cast<float>(i * 100));
        EXPECT_EQ(device->SetTransform(types[i], &m), D3D_OK);
    }
    for (size_t i = 0; i < std::size(types); ++i) {
        const D3DMATRIX expected = matrixOf(static_cast<float>(i * 100));
        D3DMATRIX actual{};
        EXPECT_EQ(device->GetTransform(types[i], &actual), D3D_OK);
        EXPECT_TRUE(sameBytes(&actual, &expected, sizeof actual)) << "transform " << types[i];
    }

    D3DMATERIAL8 material{};
    material.Diffuse = {0.5f, 0.25f, 1.0f, 0.75f};
    material.Emissive = {0.1f, 0.0f, 0.0f, 0.0f};
    material.Power = 12.0f;
    device->SetMaterial(&material);
    D3DMATERIAL8 readBack{};
    EXPECT_EQ(device->GetMaterial(&readBack), D3D_OK);
    EXPECT_TRUE(sameBytes(&readBack, &material, sizeof material));

    const D3DVIEWPORT8 viewport{10, 20, 300, 200, 0.25f, 0.75f};
    device->SetViewport(&viewport);
    D3DVIEWPORT8 viewportBack{};
    EXPECT_EQ(device->GetViewport(&viewportBack), D3D_OK);
    EXPECT_TRUE(sameBytes(&viewportBack, &viewport, sizeof viewport));

    device->SetVertexShader(0x252);
    DWORD fvf = 0;
    EXPECT_EQ(device->GetVertexShader(&fvf), D3D_OK);
    EXPECT_EQ(fvf, 0x252u);
}

TEST_F(RecordingDevice, LightsKeepTheirSettingsAndEnabledFlags) {
    createDevice();
    D3DLIGHT8 light = d3d8::defaultLight();
    light.Diffuse = {0.2f, 0.4f, 0.6f, 1.0f};
    light.Direction = {1.0f, 0.0f, 0.0f};
    for (DWORD index : {0u, 7u, 100u}) {  // 100 lies past the shared state's table
        light.Range = static_cast<float>(index);
        EXPECT_EQ(device->SetLight(index, &light), D3D_OK);
        EXPECT_EQ(device->LightEnable(index, TRUE), D3D_OK);
        D3DLIGHT8 readBack{};
        EXPECT_EQ(device->GetLight(index, &readBack), D3D_OK);
        EXPECT_TRUE(sameBytes(&readBack, &light, sizeof light)) << "light " << index;
        BOOL enabled = FALSE;
        EXPECT_EQ(device->GetLightEnable(index, &enabled), D3D_OK);
        EXPECT_TRUE(enabled);
    }
    device->LightEnable(7, FALSE);
    BOOL enabled = TRUE;
    device->GetLightEnable(7, &enabled);
    EXPECT_FALSE(enabled);
    // Setting a light again keeps its enabled flag.
    device->SetLight(0, &light);
    device->GetLightEnable(0, &enabled);
    EXPECT_TRUE(enabled);

    D3DLIGHT8 invalid = light;
    invalid.Type = static_cast<D3DLIGHTTYPE>(9);
    EXPECT_EQ(device->SetLight(1, &invalid), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetLight(1, &light), D3DERR_INVALIDCALL);
}

TEST_F(RecordingDevice, LightEnableOnANeverSetIndexCreatesTheDefaultLight) {
    createDevice();
    for (DWORD index : {3u, 1000u}) {
        EXPECT_EQ(device->LightEnable(index, TRUE), D3D_OK);
        D3DLIGHT8 light;
        std::memset(&light, 0x55, sizeof light);
        ASSERT_EQ(device->GetLight(index, &light), D3D_OK);
        EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
        EXPECT_EQ(light.Diffuse.r, 1.0f);
        EXPECT_EQ(light.Diffuse.a, 0.0f);
        EXPECT_EQ(light.Specular.r, 0.0f);
        EXPECT_EQ(light.Direction.z, 1.0f);
        EXPECT_EQ(light.Range, 0.0f);
    }
    EXPECT_EQ(device->LightEnable(4, FALSE), D3D_OK);  // disabling defines it too
    BOOL enabled = TRUE;
    EXPECT_EQ(device->GetLightEnable(4, &enabled), D3D_OK);
    EXPECT_FALSE(enabled);
}

TEST_F(RecordingDevice, OutOfRangeAndNullArgumentsAreInvalidCalls) {
    createDevice();
    DWORD value = 0;
    D3DMATRIX m = d3d8::identityMatrix();
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(40), &value),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(5), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_VIEW, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(600), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetMaterial(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetViewport(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetLight(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTexture(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(16, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(0), 0, 1), D3DERR_INVALIDCALL);
    // Indexed drawing needs an index buffer.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3DERR_INVALIDCALL);
    // The refused calls are recorded with their result, and changed nothing.
    EXPECT_EQ(recorder().calls().front().result, D3DERR_INVALIDCALL);
    EXPECT_EQ(recorder().calls().front().text, "SetRenderState(300, 1)");
    EXPECT_EQ(stageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
}

TEST_F(RecordingDevice, SceneBracketsMustPair) {
    createDevice(windowedParameters());
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_TRUE(d3d8::recording::inScene(device));  // the open scene stays open
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_FALSE(d3d8::recording::inScene(device));
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    // D16 has no stencil to clear.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

// ---------------------------------------------------------------------------
// Planned failures

TEST_F(RecordingDevice, FailsTheNthCallOfAMethodOnce) {
    createDevice();
    recorder().failNth("SetRenderState", 2, E_FAIL);
    EXPECT_EQ(device->SetRenderState(D3DRS_ZENABLE, 0), D3D_OK);
    EXPECT_EQ(device->SetRenderState(D3DRS_LIGHTING, 0), E_FAIL);
    EXPECT_EQ(device->SetRenderState(D3DRS_CULLMODE, 1), D3D_OK);
    EXPECT_EQ(renderState(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));  // the failed call did nothing
    EXPECT_EQ(renderState(D3DRS_CULLMODE), 1u);
    const auto calls = recorder().callsOf("SetRenderState");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].text, "SetRenderState(137, 0)");
    EXPECT_EQ(calls[1].result, E_FAIL);
}

TEST_F(RecordingDevice, SeveralPlansForOneMethodFireOnTheirOwnCalls) {
    createDevice();
    recorder().failNth("BeginScene", 1, E_FAIL);
    recorder().failNth("BeginScene", 3, D3DERR_DEVICELOST);
    EXPECT_EQ(device->BeginScene(), E_FAIL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);  // other methods are not counted
    EXPECT_EQ(device->BeginScene(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);  // the failed BeginScene opened nothing
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    device->EndScene();
    recorder().failNth("Clear", 0, E_FAIL);  // there is no 0th call: ignored
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
}

TEST_F(RecordingDevice, FailsEveryCallUntilFailuresAreCleared) {
    createDevice();
    recorder().failAlways("DrawPrimitive", D3DERR_INVALIDCALL);
    recorder().failAlways("IDirect3DVertexBuffer8::Lock", E_OUTOFMEMORY);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer8* vb = createVertexBuffer(48);
    BYTE* data = reinterpret_cast<BYTE*>(uintptr_t{1});
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), E_OUTOFMEMORY);
    EXPECT_EQ(data, nullptr);
    recorder().clearFailures();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    EXPECT_NE(data, nullptr);
    vb->Unlock();
    vb->Release();
}

TEST_F(RecordingDevice, Direct3DCreate8CanBeMadeToReturnNull) {
    recorder().failNth("Direct3DCreate8", 1, E_FAIL);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
    EXPECT_EQ(liveObjects(), 0);
    EXPECT_EQ(recorder().calls().back().result, E_FAIL);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION - 1), nullptr);  // wrong SDK version
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    EXPECT_NE(d3d, nullptr);
}

TEST_F(RecordingDevice, CreateDeviceFailsWithTheChosenResultAndLeavesTheOutPointerNull) {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    recorder().failNth("CreateDevice", 1, D3DERR_NOTAVAILABLE);
    D3DPRESENT_PARAMETERS parameters = fullScreenParameters();
    device = reinterpret_cast<IDirect3DDevice8*>(uintptr_t{0x99});
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(liveObjects(), 1);  // the Direct3D object only
    EXPECT_EQ(d3d8::recording::refCountOf(d3d), 1u);
    const auto& call = recorder().calls().back();
    EXPECT_EQ(call.method, "CreateDevice");
    EXPECT_EQ(call.result, D3DERR_NOTAVAILABLE);
    EXPECT_THAT(call.text, HasSubstr("BackBufferCount=2"));
    EXPECT_THAT(call.text, HasSubstr("AutoDepthStencilFormat=75"));
    EXPECT_THAT(call.text, ::testing::EndsWith(", out)"));  // nothing was handed back

    // What was asked for is kept even though the call failed.
    const auto& creation = recorder().lastDeviceCreation();
    ASSERT_TRUE(creation.has_value());
    EXPECT_EQ(creation->deviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(creation->focusWindow, fakeWindow());
    EXPECT_EQ(creation->behaviorFlags, static_cast<DWORD>(D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    EXPECT_EQ(creation->parameters.BackBufferCount, 2u);
    EXPECT_EQ(creation->parameters.AutoDepthStencilFormat, D3DFMT_D24S8);
    recorder().reset();
    EXPECT_FALSE(recorder().lastDeviceCreation().has_value());
}

TEST_F(RecordingDevice, CreateDeviceChecksItsArguments) {
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    const DWORD software = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    D3DPRESENT_PARAMETERS good = fullScreenParameters();
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), software, nullptr, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), software, &good, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, fakeWindow(), software, &good, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), 0, &good, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(),
                                software | D3DCREATE_HARDWARE_VERTEXPROCESSING, &good, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, software, &good, &device), D3DERR_INVALIDCALL);

    D3DPRESENT_PARAMETERS bad = good;
    bad.BackBufferCount = 4;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), software, &bad, &device), D3DERR_INVALIDCALL);
    bad = good;
    bad.AutoDepthStencilFormat = D3DFMT_X8R8G8B8;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), software, &bad, &device), D3DERR_INVALIDCALL);
    bad = windowedParameters();
    bad.FullScreen_RefreshRateInHz = 60;  // a windowed device has no refresh rate of its own
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), software, &bad, &device), D3DERR_INVALIDCALL);
    bad = windowedParameters();
    bad.BackBufferCount = 2;  // the copy swap effect has one back buffer
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), software, &bad, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(liveObjects(), 1);

    // A windowed device may take its window from the parameters alone.
    D3DPRESENT_PARAMETERS windowed = windowedParameters();
    windowed.hDeviceWindow = fakeWindow();
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, software, &windowed, &device), D3D_OK);
    EXPECT_NE(device, nullptr);
}

TEST_F(RecordingDevice, PlannedFailuresClearOutPointers) {
    createDevice();
    IDirect3DTexture8* texture = createTexture(8, 8, 1, D3DFMT_A8R8G8B8);
    device->SetTexture(0, texture);

    recorder().failAlways("GetTexture", E_FAIL);
    IDirect3DBaseTexture8* got = texture;
    EXPECT_EQ(device->GetTexture(0, &got), E_FAIL);
    EXPECT_EQ(got, nullptr);

    recorder().failAlways("CreateVertexBuffer", D3DERR_OUTOFVIDEOMEMORY);
    IDirect3DVertexBuffer8* vb = reinterpret_cast<IDirect3DVertexBuffer8*>(uintptr_t{8});
    EXPECT_EQ(device->CreateVertexBuffer(24, 0, 0x142, D3DPOOL_MANAGED, &vb), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(vb, nullptr);

    recorder().failAlways("IDirect3DTexture8::LockRect", E_FAIL);
    D3DLOCKED_RECT locked{7, texture};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), E_FAIL);
    EXPECT_EQ(locked.pBits, nullptr);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);  // nothing was locked

    recorder().failAlways("IDirect3DTexture8::GetLevelCount", E_FAIL);
    EXPECT_EQ(texture->GetLevelCount(), 0u);
    recorder().clearFailures();
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    texture->Release();
}

// ---------------------------------------------------------------------------
// Buffer and texture memory

TEST_F(RecordingDevice, VertexBufferKeepsWhatWasWrittenThroughALock) {
    createDevice();
    IDirect3DVertexBuffer8* vb = createVertexBuffer(16);
    BYTE* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);  // size 0: the whole buffer
    for (BYTE i = 0; i < 16; ++i) data[i] = static_cast<BYTE>(i * 3);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    BYTE* part = nullptr;
    ASSERT_EQ(vb->Lock(4, 8, &part, D3DLOCK_NOOVERWRITE), D3D_OK);
    EXPECT_EQ(part[0], 12);  // offset 4
    part[7] = 0xEE;          // the last byte of the range
    vb->Unlock();
    ASSERT_EQ(vb->Lock(10, 0, &part, 0), D3D_OK);  // from an offset to the end
    EXPECT_EQ(part[0], 30);
    vb->Unlock();

    const std::vector<BYTE> bytes = d3d8::recording::contentsOf(vb);
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes[3], 9);
    EXPECT_EQ(bytes[11], 0xEE);
    EXPECT_EQ(bytes[15], 45);

    D3DVERTEXBUFFER_DESC desc{};
    EXPECT_EQ(vb->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 16u);
    EXPECT_EQ(desc.FVF, 0x142u);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_WRITEONLY));
    EXPECT_EQ(desc.Type, D3DRTYPE_VERTEXBUFFER);
    vb->Release();
}

TEST_F(RecordingDevice, BufferLocksOutsideTheBufferAreRefused) {
    createDevice();
    IDirect3DVertexBuffer8* vb = createVertexBuffer(16);
    BYTE* data = reinterpret_cast<BYTE*>(uintptr_t{1});
    EXPECT_EQ(vb->Lock(16, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(vb->Lock(8, 9, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0xFFFFFFF0u, 0x20, &data, 0), D3DERR_INVALIDCALL);  // no wrap-around
    EXPECT_EQ(vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);  // nothing is locked
    EXPECT_EQ(vb->Lock(8, 8, &data, 0), D3D_OK);  // exactly to the end
    EXPECT_EQ(vb->Unlock(), D3D_OK);

    IDirect3DIndexBuffer8* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &ib), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer8* refused = vb;
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, &refused), D3DERR_INVALIDCALL);
    EXPECT_EQ(refused, nullptr);
    ASSERT_EQ(device->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    BYTE* indices = nullptr;
    ASSERT_EQ(ib->Lock(0, 12, &indices, 0), D3D_OK);
    const WORD triangle[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(indices, triangle, sizeof triangle);
    ib->Unlock();
    const std::vector<BYTE> bytes = d3d8::recording::contentsOf(ib);
    ASSERT_EQ(bytes.size(), sizeof triangle);
    EXPECT_TRUE(sameBytes(bytes.data(), triangle, sizeof triangle));
    D3DINDEXBUFFER_DESC desc{};
    ib->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    ib->Release();
    vb->Release();
    // A refused creation makes no object and uses up no name.
    ASSERT_EQ(device->CreateVertexBuffer(4, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
    EXPECT_EQ(recorder().calls().back().text, "CreateVertexBuffer(4, 0x0, 0x0, 1, out) -> vb2");
    vb->Release();
}

TEST_F(RecordingDevice, TexturesHaveLevelsOfRealMemory) {
    createDevice();
    IDirect3DTexture8* texture = createTexture(256, 64, 0, D3DFMT_X8R8G8B8);  // 0: the full chain
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 9u);
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Size, 64u * 16u * 4u);
    EXPECT_EQ(texture->GetLevelDesc(8, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(texture->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->GetType(), D3DRTYPE_TEXTURE);

    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 128 * 4);
    auto* rows = static_cast<BYTE*>(locked.pBits);
    reinterpret_cast<uint32_t*>(rows + 3 * locked.Pitch)[5] = 0xFF112233;  // pixel (5, 3)
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(texture->UnlockRect(1), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(1), D3DERR_INVALIDCALL);

    // A rectangle lock points at its top-left pixel, rows still a whole level apart.
    RECT area{5, 3, 6, 4};
    ASSERT_EQ(texture->LockRect(1, &locked, &area, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<uint32_t*>(locked.pBits), 0xFF112233u);
    texture->UnlockRect(1);
    const std::vector<BYTE> level = d3d8::recording::contentsOf(texture, 1);
    ASSERT_EQ(level.size(), 128u * 32u * 4u);
    uint32_t pixel = 0;
    std::memcpy(&pixel, &level[(3 * 128 + 5) * 4], 4);
    EXPECT_EQ(pixel, 0xFF112233u);
    EXPECT_TRUE(d3d8::recording::contentsOf(texture, 9).empty());

    for (RECT outside : {RECT{0, 0, 129, 1}, RECT{-1, 0, 2, 2}, RECT{4, 4, 4, 8}, RECT{0, 30, 2, 33}}) {
        EXPECT_EQ(texture->LockRect(1, &locked, &outside, 0), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(texture->LockRect(9, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    texture->Release();
}

TEST_F(RecordingDevice, TextureFormatsAndSizesAreChecked) {
    createDevice();
    IDirect3DTexture8* texture = createTexture(3, 5, 1, D3DFMT_L8);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 3);  // one byte per pixel
    texture->UnlockRect(0);
    EXPECT_EQ(d3d8::recording::contentsOf(texture).size(), 15u);
    texture->Release();

    texture = createTexture(8, 8, 2, D3DFMT_R5G6B5);
    texture->LockRect(1, &locked, nullptr, 0);
    EXPECT_EQ(locked.Pitch, 8);  // 4 pixels of 2 bytes
    texture->UnlockRect(1);
    texture->Release();

    IDirect3DTexture8* refused = reinterpret_cast<IDirect3DTexture8*>(uintptr_t{4});
    EXPECT_EQ(device->CreateTexture(8, 8, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &refused),
              D3DERR_INVALIDCALL);  // 8 x 8 has four levels
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(device->CreateTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &refused), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, &refused), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(1u << 20, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &refused),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
}

// ---------------------------------------------------------------------------
// Reference counts and object lifetimes

TEST_F(RecordingDevice, ResourcesHoldTheDeviceAndTheDeviceHoldsDirect3D) {
    createDevice();
    EXPECT_EQ(d3d8::recording::refCountOf(d3d), 2u);  // the caller's and the device's
    EXPECT_EQ(d3d8::recording::refCountOf(device), 1u);
    IDirect3DVertexBuffer8* vb = createVertexBuffer(24);
    IDirect3DTexture8* texture = createTexture(4, 4, 1, D3DFMT_A8R8G8B8);
    EXPECT_EQ(d3d8::recording::refCountOf(device), 3u);
    EXPECT_EQ(liveObjects(), 4);

    // Releasing the device early leaves it alive for its resources.
    EXPECT_EQ(device->Release(), 2u);
    EXPECT_EQ(liveObjects(), 4);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(liveObjects(), 3);
    EXPECT_EQ(texture->AddRef(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(texture->Release(), 0u);  // the device's last reference goes with it
    device = nullptr;
    EXPECT_EQ(liveObjects(), 1);
    EXPECT_EQ(d3d8::recording::refCountOf(d3d), 1u);
    EXPECT_EQ(d3d->Release(), 0u);
    d3d = nullptr;
    EXPECT_EQ(liveObjects(), 0);

    // Release calls are recorded with the count they returned.
    const auto releases = recorder().callsOf("IDirect3DTexture8::Release");
    ASSERT_EQ(releases.size(), 2u);
    EXPECT_EQ(releases[0].result, 1);
    EXPECT_EQ(releases[1].result, 0);
    EXPECT_EQ(recorder().callsOf("IDirect3DDevice8::Release").at(0).result, 2);
    EXPECT_EQ(recorder().count("IDirect3DTexture8::AddRef"), 1u);
}

TEST_F(RecordingDevice, ASetTextureIsKeptAliveWithoutChangingItsCount) {
    createDevice();
    IDirect3DTexture8* texture = createTexture(4, 4, 1, D3DFMT_A8R8G8B8);
    ASSERT_EQ(device->SetTexture(0, texture), D3D_OK);
    EXPECT_EQ(d3d8::recording::refCountOf(texture), 1u);

    IDirect3DBaseTexture8* got = nullptr;
    ASSERT_EQ(device->GetTexture(0, &got), D3D_OK);  // GetTexture hands out a reference
    EXPECT_EQ(got, texture);
    EXPECT_EQ(d3d8::recording::refCountOf(texture), 2u);
    EXPECT_EQ(recorder().calls().back().text, "GetTexture(0, out) -> tex1");
    EXPECT_EQ(got->Release(), 1u);

    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(liveObjects(), 3) << "the device still holds the texture";
    EXPECT_EQ(d3d8::recording::refCountOf(device), 1u);
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(liveObjects(), 2);

    // A texture still set when the device goes is let go with it.
    texture = createTexture(4, 4, 1, D3DFMT_A8R8G8B8);
    device->SetTexture(3, texture);
    device->SetTexture(5, texture);
    texture->Release();
    EXPECT_EQ(liveObjects(), 3);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    EXPECT_EQ(liveObjects(), 1);
}

TEST_F(RecordingDevice, StreamAndIndexBindingsAreVisibleAndHeld) {
    createDevice();
    IDirect3DVertexBuffer8* vb = createVertexBuffer(72);
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    EXPECT_EQ(device->SetStreamSource(0, vb, 24), D3D_OK);
    EXPECT_EQ(device->SetIndices(ib, 4), D3D_OK);
    UINT stride = 0;
    UINT base = 0;
    EXPECT_EQ(d3d8::recording::streamSourceOf(device, 0, &stride), vb);
    EXPECT_EQ(stride, 24u);
    EXPECT_EQ(d3d8::recording::indicesOf(device, &base), ib);
    EXPECT_EQ(base, 4u);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(recorder().calls().back().text, "DrawIndexedPrimitive(4, 0, 3, 0, 1)");

    vb->Release();
    ib->Release();
    EXPECT_EQ(liveObjects(), 4);  // both still set
    device->SetStreamSource(0, nullptr, 0);
    device->SetIndices(nullptr, 0);
    EXPECT_EQ(liveObjects(), 2);
    EXPECT_EQ(d3d8::recording::streamSourceOf(device, 0), nullptr);
}

TEST_F(RecordingDevice, GetDeviceHandsOutAReference) {
    createDevice();
    IDirect3DVertexBuffer8* vb = createVertexBuffer(24);
    IDirect3DDevice8* owner = nullptr;
    ASSERT_EQ(vb->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(d3d8::recording::refCountOf(device), 3u);  // caller, buffer, GetDevice
    EXPECT_EQ(recorder().calls().back().text, "vb1->GetDevice(out) -> dev1");
    owner->Release();
    vb->Release();
    EXPECT_EQ(d3d8::recording::refCountOf(device), 1u);
}

TEST_F(RecordingDevice, ResourcesOfAnotherDeviceAreRefused) {
    createDevice();
    D3DPRESENT_PARAMETERS parameters = fullScreenParameters();
    IDirect3DDevice8* other = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fakeWindow(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                &other),
              D3D_OK);
    IDirect3DTexture8* foreignTexture = nullptr;
    ASSERT_EQ(other->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &foreignTexture), D3D_OK);
    EXPECT_EQ(device->SetTexture(0, foreignTexture), D3DERR_INVALIDCALL);
    IDirect3DBaseTexture8* got = nullptr;
    device->GetTexture(0, &got);
    EXPECT_EQ(got, nullptr);
    foreignTexture->Release();
    EXPECT_EQ(other->Release(), 0u);
}

}  // namespace
