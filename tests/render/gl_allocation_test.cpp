// Steady-state frames of the OpenGL back end make no heap allocation: once a
// configuration has been drawn, state changes, buffer updates, draws, clears
// and presents all run on memory the device already owns. Counted through the
// global operator new of this test program (GL drivers allocate with malloc,
// outside the count).
#include <cstring>

#include "counting_new.h"
#include "gl_test_util.h"

namespace {

using gltest::colorQuad;
using gltest::kColorFvf;
using gltest::kFullScreen;

class GlAllocationTest : public gltest::DeviceTest {};

TEST_F(GlAllocationTest, SteadyStateFramesDoNotAllocate) {
    IDirect3DTexture8* textures[2] = {solidTexture(D3DCOLOR_XRGB(255, 0, 0)),
                                      solidTexture(D3DCOLOR_XRGB(0, 0, 255))};
    const auto quad = colorQuad(kFullScreen, 0.5f, D3DCOLOR_ARGB(0x80, 255, 255, 255));
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(
        device_->CreateVertexBuffer(sizeof quad, D3DUSAGE_DYNAMIC, kColorFvf, D3DPOOL_DEFAULT, &vb),
        D3D_OK);
    ASSERT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), D3D_OK);
    const uint16_t indices[] = {0, 1, 2, 2, 1, 3};
    BYTE* data = nullptr;
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1.0f;

    auto frame = [&](int n) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(n, 0, 0), 1.0f,
                       0);
        device_->BeginScene();
        vb->Lock(0, 0, &data, D3DLOCK_DISCARD);
        std::memcpy(data, quad.data(), sizeof quad);
        vb->Unlock();
        device_->SetStreamSource(0, vb, sizeof(gltest::ColorVertex));
        device_->SetVertexShader(kColorFvf);
        device_->SetIndices(ib, 0);
        world._41 = 0.01f * static_cast<float>(n % 7);
        device_->SetTransform(D3DTS_WORLD, &world);
        for (int pass = 0; pass < 2; ++pass) {
            device_->SetTexture(0, textures[pass]);
            device_->SetRenderState(D3DRS_ALPHABLENDENABLE, pass);
            device_->SetTextureStageState(0, D3DTSS_ALPHAOP,
                                          pass ? D3DTOP_MODULATE : D3DTOP_DISABLE);
            EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
            EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        }
        device_->SetTexture(0, nullptr);
        EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    };
    frame(0);  // builds the programs this frame needs
    counting_new::enabled = true;
    const long before = counting_new::allocations.load();
    for (int n = 1; n <= 20; ++n) frame(n);
    const long after = counting_new::allocations.load();
    counting_new::enabled = false;
    EXPECT_EQ(after - before, 0);

    vb->Release();
    ib->Release();
    textures[0]->Release();
    textures[1]->Release();
}

}  // namespace
