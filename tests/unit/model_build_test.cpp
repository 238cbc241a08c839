// Building models from MS3D files, drawing and animating them on the recording
// device, and the test model.
#include <cstring>

#include "d3d.h"
#include "engine_fixture.h"
#include "model.h"
#include "spheremap.h"
#include "unit/image_test_files.h"
#include "unit/model_file_builder.h"

namespace {

using d3d8::recording::recorder;
using testing_support::group;
using testing_support::Ms3dBuilder;

void writeBmp(const std::string& path) {
    image_test::BmpFields fields;
    fields.pixels = {10, 20, 30, 0};  // one pixel, its row padded to four bytes
    image_test::writeBytes(path, image_test::makeBmp(fields));
}

ms3d::Vertex vertex(float x, float y, float z, int8_t bone) {
    ms3d::Vertex v;
    v.position = {x, y, z};
    v.boneId = bone;
    return v;
}

// One triangle per entry of `groups`, each in that group, with its own vertices.
Ms3dBuilder trianglesIn(std::initializer_list<uint8_t> groups) {
    Ms3dBuilder b;
    for (uint8_t g : groups) b.addTriangle(g, 0, 0, 1, 0, 0, 1);
    return b;
}

ms3d::Material materialWith(float transparency, float r, float g, float b,
                            const std::string& texture = "", uint8_t mode = 0) {
    ms3d::Material m = testing_support::material();
    m.transparency = transparency;
    m.diffuse[0] = r, m.diffuse[1] = g, m.diffuse[2] = b, m.diffuse[3] = 0.25f;
    m.ambient[0] = 0.125f;
    m.specular[1] = 0.5f;
    m.emissive[2] = 0.75f;
    m.shininess = 12;
    m.texture = texture;
    m.mode = mode;
    return m;
}

class ModelBuildTest : public testing_support::DeviceTest {
protected:
    void TearDown() override {
        crt::setClockSource(nullptr);
        DeviceTest::TearDown();
    }

    bool load(cModel& model, const Ms3dBuilder& builder, const std::string& directory = "") {
        builder.save("model.ms3d");
        return model.load("model.ms3d", directory);
    }

    // Draws the model once, as the frame walk would.
    HRESULT draw(cModel& model) {
        const HRESULT result = model.begin();
        model.end();
        return result;
    }

    static std::vector<LitVertex> deviceVertices(cSkinnedMesh& mesh) {
        const std::vector<BYTE> bytes =
            d3d8::recording::contentsOf(mesh.m_drawnVertices.m_buffer);
        std::vector<LitVertex> vertices(bytes.size() / sizeof(LitVertex));
        std::memcpy(vertices.data(), bytes.data(), vertices.size() * sizeof(LitVertex));
        return vertices;
    }
};

TEST_F(ModelBuildTest, CornersBecomeMirroredVerticesInReversedTriples) {
    Ms3dBuilder b = trianglesIn({0, 1});  // records 0-2 in group 0, 3-5 in group 1
    b.vertices.push_back(vertex(1, 2, 3, -1));  // record 6
    b.vertices.push_back(vertex(4, 5, 6, 2));   // record 7
    b.vertices[5] = vertex(7, 8, 9, -100);
    ms3d::Triangle t;
    t.vertexIndices = {5, 6, 7};
    for (int k = 0; k < 3; ++k) {
        t.vertexNormals[k] = {0.1f * k, 0.2f, 0.3f + k};
        t.s[k] = 0.25f * k;
        t.t[k] = 1 - 0.25f * k;
    }
    t.groupIndex = 0;
    b.triangles.push_back(t);
    b.groups = {group("g0"), group("g1")};
    cModel model;
    ASSERT_TRUE(load(model, b));

    cSkinnedMesh& mesh = *model.m_meshes[0];
    ASSERT_EQ(mesh.m_sourceVertices.m_count, 6u);
    ASSERT_EQ(mesh.m_triangles.m_count, 2u);
    const uint16_t* first = mesh.m_triangles.triangle(0);
    const uint16_t* second = mesh.m_triangles.triangle(1);
    EXPECT_EQ(std::vector<uint16_t>(first, first + 3), (std::vector<uint16_t>{2, 1, 0}));
    EXPECT_EQ(std::vector<uint16_t>(second, second + 3), (std::vector<uint16_t>{5, 4, 3}));

    const LitVertex* v = mesh.m_sourceVertices.getVertices();
    const float expected[3][3] = {{7, 8, -9}, {1, 2, -3}, {4, 5, -6}};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(v[3 + k].x, expected[k][0]);
        EXPECT_EQ(v[3 + k].y, expected[k][1]);
        EXPECT_EQ(v[3 + k].z, expected[k][2]);
        EXPECT_FLOAT_EQ(v[3 + k].nx, 0.1f * k);
        EXPECT_FLOAT_EQ(v[3 + k].nz, -(0.3f + k));
        EXPECT_EQ(v[3 + k].u, 0.25f * k);
        EXPECT_EQ(v[3 + k].v, 1 - 0.25f * k);
    }
    EXPECT_EQ(mesh.m_jointIndices, (std::vector<int32_t>{-1, -1, -1, -100, -1, 2}));
    EXPECT_EQ(model.m_meshes[1]->m_sourceVertices.m_count, 3u);
    EXPECT_EQ(model.m_children.size(), 2u);
    EXPECT_EQ(model.m_children[1], model.m_meshes[1]);
}

TEST_F(ModelBuildTest, GroupColourAndStatesComeFromTheMaterial) {
    Ms3dBuilder b = trianglesIn({0, 1, 2, 3});
    b.groups = {group("half", {}, 0), group("opaque", {}, 1), group("none"), group("carry", {}, 2)};
    b.materials = {materialWith(0.5f, 1.0f, 0.5f, 0.0f),
                   materialWith(1.0f, 0, 0, 1, "env.bmp", ms3d::kModeSphereMap),
                   materialWith(1.0f, 2.0f, 0, 0)};
    cModel model;
    ASSERT_TRUE(load(model, b));
    ASSERT_EQ(model.m_meshes.size(), 4u);

    cSkinnedMesh& half = *model.m_meshes[0];
    EXPECT_EQ(half.m_sourceVertices.getVertices()[0].diffuse, 0x7FFF7F00u);
    EXPECT_EQ(half.m_states, (std::vector<cRenderObject*>{model.m_materials[0], &model.m_alphaBlend}));
    EXPECT_EQ(half.m_textures[0], nullptr);

    cSkinnedMesh& opaque = *model.m_meshes[1];
    EXPECT_EQ(opaque.m_sourceVertices.getVertices()[2].diffuse, 0xFF0000FFu);
    EXPECT_EQ(opaque.m_states, (std::vector<cRenderObject*>{model.m_materials[1], &s_SphereMapState}));
    EXPECT_EQ(opaque.m_textures[0], model.m_textures[0]);

    cSkinnedMesh& none = *model.m_meshes[2];
    EXPECT_EQ(none.m_sourceVertices.getVertices()[0].diffuse, 0x00FFFFFFu);
    EXPECT_TRUE(none.m_states.empty());
    EXPECT_EQ(none.m_textures[0], nullptr);

    // 2.0 × 255 = 510 is not clamped: it carries into the alpha byte.
    EXPECT_EQ(model.m_meshes[3]->m_sourceVertices.getVertices()[0].diffuse, 0x00FE0000u);

    const D3DMATERIAL8& m = model.m_materials[0]->m_material;
    EXPECT_EQ(m.Diffuse.r, 1.0f);
    EXPECT_EQ(m.Diffuse.g, 0.5f);
    EXPECT_EQ(m.Diffuse.a, 0.25f);
    EXPECT_EQ(m.Ambient.r, 0.125f);
    EXPECT_EQ(m.Specular.g, 0.5f);
    EXPECT_EQ(m.Emissive.b, 0.75f);
    EXPECT_EQ(m.Power, 12.0f);
}

TEST_F(ModelBuildTest, OneTextureObjectPerDistinctName) {
    Ms3dBuilder b = trianglesIn({0, 1, 2, 3});
    b.groups = {group("a", {}, 0), group("b", {}, 1), group("c", {}, 2), group("d", {}, 3)};
    b.materials = {materialWith(1, 1, 1, 1, "skin.bmp"), materialWith(1, 1, 1, 1, "skin.bmp"),
                   materialWith(1, 1, 1, 1, "Skin.bmp"), materialWith(1, 1, 1, 1)};
    cModel model;
    ASSERT_TRUE(load(model, b));
    EXPECT_EQ(model.m_textureNames, (std::vector<std::string>{"skin.bmp", "Skin.bmp"}));
    ASSERT_EQ(model.m_textures.size(), 2u);
    EXPECT_EQ(model.m_materials.size(), 4u);
    EXPECT_EQ(model.m_meshes[0]->m_textures[0], model.m_textures[0]);
    EXPECT_EQ(model.m_meshes[1]->m_textures[0], model.m_textures[0]);
    EXPECT_EQ(model.m_meshes[2]->m_textures[0], model.m_textures[1]);
    EXPECT_EQ(model.m_meshes[3]->m_textures[0], nullptr);
}

TEST_F(ModelBuildTest, TexturesLoadFromTheDirectoryWithWindowsSeparators) {
    writeBmp("tex.bmp");
    writeFile("Models/keep", "");
    writeBmp("Models/tex.bmp");
    Ms3dBuilder b = trianglesIn({0, 1});
    b.groups = {group("found", {}, 0), group("missing", {}, 1)};
    b.materials = {materialWith(1, 1, 1, 1, ".\\tex.bmp"), materialWith(1, 1, 1, 1, ".\\gone.bmp")};

    cModel bare;
    ASSERT_TRUE(load(bare, b));
    ASSERT_EQ(bare.init(&d3d), S_OK);
    EXPECT_NE(bare.m_textures[0]->m_texture, nullptr) << "\".\\tex.bmp\" opens ./tex.bmp";
    EXPECT_EQ(bare.m_textures[1]->m_texture, nullptr);
    ASSERT_EQ(boxes.size(), 1u) << "the texture reports the missing picture";
    EXPECT_EQ(boxes[0].text.rfind("Error while loading file: '.\\gone.bmp'", 0), 0u);
    // The model is drawn all the same, the group without its picture included.
    EXPECT_EQ(bare.uploadAll(), S_OK);
    EXPECT_EQ(draw(bare), S_OK);
    EXPECT_EQ(recorder().count("DrawIndexedPrimitive"), 2u);

    cModel inFolder;
    ASSERT_TRUE(load(inFolder, b, "Models\\"));
    inFolder.init(&d3d);
    EXPECT_NE(inFolder.m_textures[0]->m_texture, nullptr) << "Models\\.\\tex.bmp";
}

TEST_F(ModelBuildTest, InitUploadsAndDrawsEveryGroupWithTriangles) {
    Ms3dBuilder b = trianglesIn({0, 0, 2});
    b.groups = {group("two"), group("empty"), group("one")};
    cModel model;
    ASSERT_TRUE(load(model, b));
    ASSERT_EQ(model.init(&d3d), S_OK);
    EXPECT_EQ(model.m_d3d, &d3d);
    EXPECT_EQ(recorder().count("CreateVertexBuffer"), 2u) << "the empty group needs none";
    EXPECT_EQ(recorder().count("CreateIndexBuffer"), 2u);
    EXPECT_EQ(model.m_meshes[0]->m_vertexBuffer, &model.m_meshes[0]->m_drawnVertices);
    EXPECT_EQ(model.m_meshes[0]->m_indexBuffer, &model.m_meshes[0]->m_triangles);
    EXPECT_EQ(model.m_meshes[1]->m_vertexBuffer, nullptr);

    // A second init only repeats the node part.
    ASSERT_EQ(model.init(&d3d), S_OK);
    EXPECT_EQ(recorder().count("CreateVertexBuffer"), 2u);

    recorder().clearCalls();
    EXPECT_EQ(model.uploadAll(), S_OK);
    EXPECT_EQ(recorder().count("IDirect3DVertexBuffer8::Lock"), 2u);
    EXPECT_EQ(draw(model), S_OK);
    const auto draws = recorder().callsOf("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].text, "DrawIndexedPrimitive(4, 0, 6, 0, 2)");
    EXPECT_EQ(draws[1].text, "DrawIndexedPrimitive(4, 0, 3, 0, 1)");
    EXPECT_EQ(deviceVertices(*model.m_meshes[0]).size(), 6u);

    // An upload that fails is passed up and stops the others.
    recorder().failNth("IDirect3DVertexBuffer8::Lock", 1, D3DERR_INVALIDCALL);
    recorder().clearCalls();
    EXPECT_EQ(model.uploadAll(), D3DERR_INVALIDCALL);
    EXPECT_EQ(recorder().count("IDirect3DVertexBuffer8::Lock"), 1u);
}

TEST_F(ModelBuildTest, ReleaseLeavesTheModelEmptyAndFreesTheDeviceObjects) {
    const int before = d3d8::recording::liveObjects();
    writeBmp("skin.bmp");
    Ms3dBuilder b = trianglesIn({0, 1});
    b.groups = {group("a", {}, 0), group("b", {}, 0)};
    b.materials = {materialWith(0.5f, 1, 1, 1, "skin.bmp")};
    b.joints.resize(1);
    b.joints[0].name = "bone";
    {
        cModel model;
        ASSERT_TRUE(load(model, b));
        ASSERT_EQ(model.init(&d3d), S_OK);
        EXPECT_GT(d3d8::recording::liveObjects(), before);
        model.release();
        EXPECT_EQ(d3d8::recording::liveObjects(), before);
        EXPECT_TRUE(model.m_meshes.empty());
        EXPECT_TRUE(model.m_children.empty());
        EXPECT_TRUE(model.m_materials.empty());
        EXPECT_TRUE(model.m_textures.empty());
        EXPECT_TRUE(model.m_textureNames.empty());
        EXPECT_EQ(model.m_skeleton, nullptr);
        EXPECT_EQ(model.m_d3d, nullptr);
    }
    {
        cModel destroyedWhileAttached;  // the destructor releases as release does
        ASSERT_TRUE(load(destroyedWhileAttached, b));
        destroyedWhileAttached.init(&d3d);
    }
    EXPECT_EQ(d3d8::recording::liveObjects(), before);
}

// A two-triangle model: the first follows joint 0, whose translation keys move it
// 10 units along x over 1000 ms; the second follows no joint.
Ms3dBuilder slidingModel() {
    Ms3dBuilder b;
    b.addTriangle(0, 0, 0, 1, 0, 0, 1, 0, 0);
    b.addTriangle(0, 5, 5, 6, 5, 5, 6, 0, -1);
    b.groups = {group("g")};
    b.animationFps = 30;
    b.totalFrames = 30;  // 1000 ms
    ms3d::Joint joint;
    joint.name = "slider";
    joint.translationKeys = {{0, {0, 0, 0}}, {1, {10, 0, 0}}};
    b.joints = {joint};
    return b;
}

TEST_F(ModelBuildTest, AnimationFollowsTheClockAndLoopsPastTheLength) {
    crt::VirtualClock clock(1000);
    crt::setClockSource(clock.source());
    cModel model;
    EXPECT_EQ(model.m_startTime, 1000u);
    ASSERT_TRUE(load(model, slidingModel()));
    ASSERT_EQ(model.init(&d3d), S_OK);
    model.uploadAll();

    cSkinnedMesh& mesh = *model.m_meshes[0];
    const LitVertex* drawn = mesh.m_drawnVertices.getVertices();
    clock.set(1250);
    draw(model);
    EXPECT_EQ(drawn[0].x, 0) << "still until m_animate is set";

    model.m_animate = true;
    draw(model);
    EXPECT_NEAR(drawn[0].x, 2.5f, 1e-5f);
    EXPECT_NEAR(drawn[2].x, 2.5f, 1e-5f);
    EXPECT_NEAR(drawn[1].x, 3.5f, 1e-5f);
    EXPECT_NEAR(deviceVertices(mesh)[1].x, 3.5f, 1e-5f) << "uploaded";
    // Vertices of no joint keep their bind position.
    EXPECT_EQ(drawn[3].x, 5);
    EXPECT_EQ(drawn[4].x, 6);

    clock.set(2000);  // exactly the length: the last pose
    draw(model);
    EXPECT_NEAR(drawn[0].x, 10, 1e-5f);
    EXPECT_EQ(model.m_startTime, 1000u);

    clock.set(2001);  // past it: starts over at 0
    draw(model);
    EXPECT_NEAR(drawn[0].x, 0, 1e-5f);
    EXPECT_EQ(model.m_startTime, 2001u);
    clock.set(2501);
    draw(model);
    EXPECT_NEAR(drawn[0].x, 5, 1e-5f);
    EXPECT_EQ(drawn[3].x, 5);
}

TEST_F(ModelBuildTest, JointIndicesTheSkeletonDoesNotHaveLeaveVerticesStill) {
    Ms3dBuilder b = slidingModel();
    b.vertices[0].boneId = 1;     // one past the only joint
    b.vertices[1].boneId = 127;
    b.vertices[2].boneId = -7;
    crt::VirtualClock clock(0);
    crt::setClockSource(clock.source());
    cModel model;
    ASSERT_TRUE(load(model, b));
    model.init(&d3d);
    model.m_animate = true;
    clock.set(500);
    draw(model);
    const LitVertex* drawn = model.m_meshes[0]->m_drawnVertices.getVertices();
    EXPECT_EQ(drawn[0].x, 0);
    EXPECT_EQ(drawn[1].x, 1);
    EXPECT_EQ(drawn[2].x, 0);
}

// ---------------------------------------------------------------------------
// Test model

class TestModelTest : public ModelBuildTest {};

TEST_F(TestModelTest, InitBuildsTheSceneAroundTerraT) {
    slidingModel().save("terraT.ms3d");
    cTestModel scene;
    ASSERT_EQ(scene.init(&d3d), S_OK);
    EXPECT_EQ(scene.m_states, (std::vector<cRenderObject*>{&scene.m_light, &scene.m_camera}));
    ASSERT_FALSE(scene.m_children.empty());
    EXPECT_EQ(scene.m_children[0], &scene.m_model);
    EXPECT_EQ(scene.m_camera.m_eye, D3DXVECTOR3(0, 0, 100));
    EXPECT_EQ(scene.m_camera.m_lookAt, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(scene.m_light.m_light.Direction.z, 1);
    EXPECT_TRUE(scene.m_model.m_animate);
    EXPECT_EQ(scene.m_model.m_meshes.size(), 1u);
    EXPECT_EQ(scene.m_model.m_meshes[0]->m_d3d, &d3d);
    EXPECT_EQ(scene.m_secondLight.m_d3d, nullptr) << "never attached";

    EXPECT_EQ(log.getIndentation(), 0u) << "the block is closed";
    EXPECT_TRUE(boxes.empty());
    log.close();
    EXPECT_NE(readLogFile().find("cTestModel::init<br>"), std::string::npos);

    recorder().clearCalls();
    EXPECT_TRUE(scene.frame(0));
    EXPECT_EQ(recorder().count("DrawIndexedPrimitive"), 1u);
    EXPECT_EQ(recorder().count("Present"), 1u);
    EXPECT_EQ(cLight::s_LightCount, 0);
    scene.release();
}

TEST_F(TestModelTest, FrameSwaysTheSceneAboutY) {
    slidingModel().save("terraT.ms3d");
    cTestModel scene;
    ASSERT_EQ(scene.init(&d3d), S_OK);
    D3DXMATRIX turned;
    scene.frame(0);
    EXPECT_EQ(scene.m_transform, identityMatrix());
    scene.frame(1571);
    D3DXMatrixRotationY(&turned, 0.5f);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR((&scene.m_transform._11)[i], (&turned._11)[i], 1e-4f);
    scene.frame(4712);
    D3DXMatrixRotationY(&turned, -0.5f);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR((&scene.m_transform._11)[i], (&turned._11)[i], 1e-4f);
    scene.release();
}

// A model file that is missing or not MS3D version 4: reported as a warning, and
// the scene completes around an empty model, so drawing it is safe.
TEST_F(TestModelTest, UnreadableModelGivesAWarningAndAnEmptyScene) {
    for (const bool present : {false, true}) {
        SCOPED_TRACE(present ? "not an MS3D file" : "missing");
        if (present) writeFile("terraT.ms3d", std::string("MS3D000000\x03\0\0\0", 14));
        boxes.clear();
        cTestModel scene;
        EXPECT_EQ(scene.init(&d3d), S_OK);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Error while loading file: 'terraT.ms3d'");
        EXPECT_EQ(boxes[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
        EXPECT_EQ(log.getIndentation(), 0u);
        EXPECT_FALSE(scene.m_model.m_animate);
        EXPECT_EQ(scene.m_model.m_d3d, &d3d);
        EXPECT_EQ(scene.m_camera.m_d3d, &d3d);

        recorder().clearCalls();
        EXPECT_TRUE(scene.frame(1000));
        EXPECT_EQ(recorder().count("DrawIndexedPrimitive"), 0u);
        EXPECT_EQ(recorder().count("Present"), 1u);
        scene.release();
    }
}

}  // namespace
