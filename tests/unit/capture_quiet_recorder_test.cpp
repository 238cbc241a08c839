// The recording back end's quiet mode, which the benchmarks measure the engine
// with: the device keeps doing everything it does, only nothing is recorded.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "d3d8.h"
#include "d3d8_backend.h"
#include "recording/recording.h"

namespace {

using d3d8::recording::recorder;

class QuietRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        d3d8::selectBackend(d3d8::Backend::Recording);
        recorder().reset();
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.SwapEffect = D3DSWAPEFFECT_COPY;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, reinterpret_cast<HWND>(uintptr_t{1}),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
        recorder().clearCalls();
        recorder().setQuiet(true);
    }
    void TearDown() override {
        recorder().setQuiet(false);
        if (device) device->Release();
        if (d3d) d3d->Release();
        recorder().reset();
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
};

TEST_F(QuietRecorder, KeepsStateAndBuffersButRecordsNothing) {
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    D3DMATRIX world{};
    world.m[3][0] = 5;
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD, &world), D3D_OK);
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_DEFAULT, &buffer), D3D_OK);
    BYTE* bytes = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &bytes, 0), D3D_OK);
    std::memset(bytes, 0xAB, 16);
    buffer->Unlock();

    DWORD cull = 0;
    device->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    D3DMATRIX read{};
    device->GetTransform(D3DTS_WORLD, &read);
    EXPECT_EQ(read.m[3][0], 5.0f);
    EXPECT_EQ(d3d8::recording::contentsOf(buffer), std::vector<BYTE>(16, 0xAB));
    EXPECT_TRUE(recorder().calls().empty());

    // Invalid calls still fail, and planned failures still fire.
    EXPECT_EQ(device->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    recorder().failNth("Clear", 1, D3DERR_DEVICELOST);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3DERR_DEVICELOST);
    EXPECT_TRUE(recorder().calls().empty());

    // Out of quiet mode, calls are written down again, in full.
    recorder().setQuiet(false);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(recorder().calls().size(), 1u);
    EXPECT_EQ(recorder().calls()[0].text, "SetRenderState(22, 2)");
    buffer->Release();
}

}  // namespace
