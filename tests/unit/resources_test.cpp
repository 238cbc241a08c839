#include <cstring>

#include "buffers.h"
#include "d3d.h"
#include "engine_fixture.h"
#include "material.h"
#include "texture.h"

namespace {

using d3d8::recording::recorder;

using ResourcesTest = testing_support::DeviceTest;

TEST_F(ResourcesTest, FreshColorVerticesAreWhiteAndZero) {
    cColorVertexBuffer buffer;
    buffer.allocate(4);
    ASSERT_EQ(buffer.m_count * buffer.m_stride, 96u);
    for (int i = 0; i < 4; ++i) {
        const ColorVertex& v = buffer.getVertices()[i];
        EXPECT_EQ(v.diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(v.x, 0);
        EXPECT_EQ(v.y, 0);
        EXPECT_EQ(v.z, 0);
        EXPECT_EQ(v.u, 0);
        EXPECT_EQ(v.v, 0);
    }
    EXPECT_EQ(buffer.m_format, 0x142u);
    cLitVertexBuffer lit;
    cLitVertexBuffer2 lit2;
    EXPECT_EQ(lit.m_stride, 36u);
    EXPECT_EQ(lit.m_format, 0x152u);
    EXPECT_EQ(lit2.m_stride, 44u);
    EXPECT_EQ(lit2.m_format, 0x252u);
}

TEST_F(ResourcesTest, NormalsOfOneTriangleAndTheirLag) {
    cLitVertexBuffer buffer;
    cIndexBuffer indices;
    buffer.allocate(3);
    indices.allocate(1);
    LitVertex* v = buffer.getVertices();
    v[1].x = 1;
    v[2].y = 1;
    indices.triangle(0)[0] = 0;
    indices.triangle(0)[1] = 1;
    indices.triangle(0)[2] = 2;
    buffer.computeNormals(&indices);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(v[i].nx, 0);
        EXPECT_FLOAT_EQ(v[i].ny, 0);
        EXPECT_FLOAT_EQ(v[i].nz, 1);
    }
    // Turn the face over: the sums still hold the old unit normal, which cancels it.
    indices.flipWinding();
    buffer.computeNormals(&indices);
    EXPECT_FLOAT_EQ(v[0].nz, 0) << "old (0,0,1) plus new (0,0,-1) normalises to zero";
    buffer.computeNormals(&indices);
    EXPECT_FLOAT_EQ(v[0].nz, -1);
}

TEST_F(ResourcesTest, NormalsIgnoreIndicesPastTheVertices) {
    cLitVertexBuffer2 buffer;
    cIndexBuffer indices;
    buffer.allocate(3);
    indices.allocate(1);
    indices.triangle(0)[2] = 900;
    buffer.computeNormals(&indices);  // must not touch memory past the arrays
    EXPECT_FLOAT_EQ(buffer.getVertices()[0].nz, 0);
}

TEST_F(ResourcesTest, FlipWindingSwapsFirstAndThird) {
    cIndexBuffer indices;
    indices.flipWinding();  // no array yet: nothing happens
    indices.allocate(1);
    indices.triangle(0)[1] = 1;
    indices.triangle(0)[2] = 2;
    indices.flipWinding();
    EXPECT_EQ(indices.triangle(0)[0], 2);
    EXPECT_EQ(indices.triangle(0)[1], 1);
    EXPECT_EQ(indices.triangle(0)[2], 0);
}

TEST_F(ResourcesTest, InitCreatesOnceAndCopiesTheArray) {
    cColorVertexBuffer empty;
    EXPECT_EQ(empty.init(&d3d), S_OK);
    EXPECT_EQ(empty.m_buffer, nullptr);
    EXPECT_EQ(recorder().count("CreateVertexBuffer"), 0u);

    cColorVertexBuffer buffer;
    buffer.allocate(4);
    buffer.getVertices()[3].u = 0.25f;
    ASSERT_EQ(buffer.init(&d3d), S_OK);
    ASSERT_NE(buffer.m_buffer, nullptr);
    EXPECT_EQ(buffer.init(&d3d), S_OK);
    EXPECT_EQ(recorder().count("CreateVertexBuffer"), 1u);
    const auto creates = recorder().callsOf("CreateVertexBuffer");
    EXPECT_NE(creates[0].text.find("96"), std::string::npos) << creates[0].text;

    BYTE* data = nullptr;
    ASSERT_EQ(buffer.m_buffer->Lock(0, 0, &data, 0), S_OK);
    ColorVertex copied;
    std::memcpy(&copied, data + 3 * sizeof(ColorVertex), sizeof copied);
    buffer.m_buffer->Unlock();
    EXPECT_EQ(copied.u, 0.25f);
    EXPECT_EQ(copied.diffuse, 0xFFFFFFFFu);

    EXPECT_TRUE(buffer.release());
    EXPECT_EQ(buffer.m_buffer, nullptr);
    EXPECT_EQ(buffer.m_vertices, nullptr);
}

TEST_F(ResourcesTest, ReleaseWithoutDeviceBufferFreesTheArrayAndSaysFalse) {
    cIndexBuffer indices;
    indices.allocate(2);
    EXPECT_FALSE(indices.release());
    EXPECT_EQ(indices.m_indices, nullptr);
}

TEST_F(ResourcesTest, CreationFailuresAreLogged) {
    answers = {IDYES, IDYES};
    recorder().failNth("CreateVertexBuffer", 1, E_OUTOFMEMORY);
    recorder().failNth("CreateIndexBuffer", 1, D3DERR_OUTOFVIDEOMEMORY);
    cColorVertexBuffer buffer;
    buffer.allocate(4);
    cIndexBuffer indices;
    indices.allocate(2);
    EXPECT_EQ(buffer.init(&d3d), E_OUTOFMEMORY);
    EXPECT_EQ(indices.init(&d3d), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(buffer.m_buffer, nullptr);
    log.close();
    const std::string file = readLogFile();
    EXPECT_NE(file.find("DirectX call 'IDirect3DDevice8::CreateVertexBuffer' failed"),
              std::string::npos);
    EXPECT_NE(file.find("DirectX call 'IDirect3DDevice8::CreateIndexBuffer' failed"),
              std::string::npos);
}

TEST_F(ResourcesTest, UpdateNeverCopiesPastTheDeviceBuffer) {
    cColorVertexBuffer buffer;
    buffer.allocate(4);
    ASSERT_EQ(buffer.init(&d3d), S_OK);
    buffer.allocate(400);  // grown after init: the device buffer keeps 4 vertices
    EXPECT_EQ(buffer.update(), S_OK);
    buffer.release();
}

TEST_F(ResourcesTest, MaterialAppliesAndRestores) {
    D3DMATERIAL8 previous{};
    previous.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    d3d.m_device->SetMaterial(&previous);
    d3d.m_device->SetRenderState(D3DRS_AMBIENT, 0xFF00FF00);
    d3d.m_device->SetRenderState(D3DRS_SPECULARENABLE, 1);

    cMaterial material;
    material.init(&d3d);
    material.setPower(40);
    material.setSpecular(1, 1, 1, 1);
    EXPECT_EQ(material.begin(), S_OK);
    D3DMATERIAL8 current;
    d3d.m_device->GetMaterial(&current);
    EXPECT_EQ(current.Power, 40);
    DWORD ambient = 0;
    d3d.m_device->GetRenderState(D3DRS_AMBIENT, &ambient);
    EXPECT_EQ(ambient, 1u);
    EXPECT_EQ(material.end(), S_OK);
    d3d.m_device->GetMaterial(&current);
    EXPECT_EQ(current.Diffuse.r, 0.5f);
    EXPECT_EQ(current.Power, 0);
    DWORD specular = 1;
    d3d.m_device->GetRenderState(D3DRS_AMBIENT, &ambient);
    d3d.m_device->GetRenderState(D3DRS_SPECULARENABLE, &specular);
    EXPECT_EQ(ambient, 0u);
    EXPECT_EQ(specular, 0u);
}

TEST_F(ResourcesTest, MaterialFailuresAreLogged) {
    answers = {IDYES, IDYES};
    cMaterial material;
    material.init(&d3d);
    recorder().failNth("GetMaterial", 1, E_FAIL);
    EXPECT_EQ(material.begin(), E_FAIL);
    EXPECT_EQ(recorder().count("SetMaterial"), 0u);
    recorder().failNth("SetMaterial", 1, E_FAIL);
    EXPECT_EQ(material.begin(), E_FAIL);
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(ResourcesTest, TextureBindsItsStageWithThreeStageStates) {
    cTexture texture;
    texture.init(&d3d);
    texture.m_stage = 1;
    recorder().clearCalls();
    EXPECT_EQ(texture.begin(), S_OK);
    EXPECT_EQ(recorder().count("SetTexture"), 1u);
    EXPECT_EQ(recorder().count("SetTextureStageState"), 3u);
    EXPECT_EQ(recorder().count("SetRenderState"), 0u);
    DWORD arg2 = 0;
    d3d.m_device->GetTextureStageState(1, D3DTSS_COLORARG2, &arg2);
    EXPECT_EQ(arg2, static_cast<DWORD>(D3DTA_CURRENT));
    texture.m_stage = 2;
    texture.begin();
    d3d.m_device->GetTextureStageState(2, D3DTSS_COLORARG2, &arg2);
    EXPECT_EQ(arg2, static_cast<DWORD>(D3DTA_DIFFUSE)) << "stage 2 blends like stage 0";
    EXPECT_EQ(texture.end(), S_OK);
}

TEST_F(ResourcesTest, MissingPictureAsksAndReleaseOfAnUnloadedTextureSaysFalse) {
    answers = {IDYES};
    cTexture texture;
    EXPECT_LT(texture.load(&d3d, "Data\\Textures\\missing.jpg"), 0);
    EXPECT_EQ(texture.getTexture(), nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Error while loading file: 'Data\\Textures\\missing.jpg'\nDo you want to continue "
              "running the application?");
    EXPECT_FALSE(texture.release());
    EXPECT_EQ(texture.m_d3d, nullptr);
}

}  // namespace
