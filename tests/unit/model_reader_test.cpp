// The MS3D reader: header checks, section reading, the inputs it must reject or
// repair, the real-world fixtures, and truncated and corrupted files.
#include <cstdio>
#include <filesystem>
#include <random>

#include "d3d.h"
#include "engine_fixture.h"
#include "fixture_files.h"
#include "model.h"
#include "ms3d_writer.h"
#include "terrat_model.h"
#include "unit/model_file_builder.h"

namespace {

using d3d8::recording::recorder;
using testing_support::group;
using testing_support::material;
using testing_support::Ms3dBuilder;
namespace fs = std::filesystem;

fs::path fixture(const std::string& name) { return fixture_files::file("ms3d") / name; }

// Reads a file's sections directly, without building anything.
bool readSections(const fs::path& path, sMS3DData& data) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    const bool ok = readMS3DHeader(file) && readMS3DSections(file, data);
    std::fclose(file);
    return ok;
}

// A small model with every section in use: two groups, a material with a
// texture, and two joints with keys (the child listed after its parent).
Ms3dBuilder jointedModel() {
    Ms3dBuilder b;
    b.addTriangle(0, 0, 0, 1, 0, 0, 1, 0, 0);
    b.addTriangle(1, 0, 0, 1, 0, 0, 1, 2, 1);
    b.groups = {group("body", {0}, 0), group("arm", {1})};
    ms3d::Material skin = material();
    skin.texture = ".\\skin.bmp";
    b.materials = {skin};
    b.totalFrames = 30;
    b.animationFps = 30;
    ms3d::Joint root;
    root.name = "root";
    root.rotationKeys = {{0, {0, 0, 0}}, {1, {0, 0, 1}}};
    ms3d::Joint arm;
    arm.name = "arm";
    arm.parentName = "root";
    arm.position[0] = 1;
    arm.translationKeys = {{0, {0, 0, 0}}, {0.5f, {0, 2, 0}}};
    b.joints = {root, arm};
    return b;
}

class ModelReaderTest : public testing_support::EngineTest {
protected:
    bool load(cModel& model, const Ms3dBuilder& builder, const std::string& directory = "") {
        builder.save("model.ms3d");
        return model.load("model.ms3d", directory);
    }

    static void expectEmpty(cModel& model) {
        EXPECT_TRUE(model.m_meshes.empty());
        EXPECT_TRUE(model.m_children.empty());
        EXPECT_TRUE(model.m_materials.empty());
        EXPECT_TRUE(model.m_textures.empty());
        EXPECT_TRUE(model.m_textureNames.empty());
        EXPECT_EQ(model.m_skeleton, nullptr);
    }
};

TEST_F(ModelReaderTest, RefusesWhatIsNotAnMs3dVersion4File) {
    cModel model;
    EXPECT_FALSE(model.load("", "dir"));
    EXPECT_FALSE(model.load("missing.ms3d", "dir"));
    EXPECT_EQ(model.m_textureDirectory, "") << "set only once the file has opened";

    Ms3dBuilder version3;
    version3.version = 3;
    EXPECT_FALSE(load(model, version3, "textures\\"));
    EXPECT_EQ(model.m_textureDirectory, "textures\\") << "set before the header is checked";

    std::string wrongId = Ms3dBuilder().bytes();
    wrongId[9] = '1';
    writeFile("wrong.ms3d", wrongId);
    EXPECT_FALSE(model.load("wrong.ms3d", ""));
    writeFile("short.ms3d", "MS3D00");
    EXPECT_FALSE(model.load("short.ms3d", ""));
    expectEmpty(model);
}

TEST_F(ModelReaderTest, EmptyModelLoadsAndTrailingDataIsIgnored) {
    Ms3dBuilder empty;
    empty.trailing = std::string(1780, '\xAB');
    cModel model;
    ASSERT_TRUE(load(model, empty));
    EXPECT_TRUE(model.m_meshes.empty());
    EXPECT_TRUE(model.m_materials.empty());
    EXPECT_TRUE(model.m_textures.empty());
    ASSERT_NE(model.m_skeleton, nullptr);
    EXPECT_EQ(model.m_skeleton->m_jointCount, 0u);
    EXPECT_EQ(model.m_skeleton->m_name, "default");
}

TEST_F(ModelReaderTest, SecondLoadIntoTheSameModelIsRefused) {
    cModel model;
    ASSERT_TRUE(load(model, jointedModel()));
    EXPECT_FALSE(load(model, jointedModel()));
    EXPECT_EQ(model.m_meshes.size(), 2u);
}

TEST_F(ModelReaderTest, AnimationLengthFromFramesAndRate) {
    EXPECT_EQ(ms3dAnimationLength(100, 30), 3333u);
    EXPECT_EQ(ms3dAnimationLength(30, 30), 1000u);
    // A zero or negative rate, or a negative count, has no length to play.
    EXPECT_EQ(ms3dAnimationLength(100, 0), 0u);
    EXPECT_EQ(ms3dAnimationLength(0, 0), 0u);
    EXPECT_EQ(ms3dAnimationLength(-5, 30), 0u);
    EXPECT_EQ(ms3dAnimationLength(100, -30), 0u);
    EXPECT_EQ(ms3dAnimationLength(INT32_MAX, 0.001f), UINT32_MAX);  // beyond 32 bits: the longest

    Ms3dBuilder b = jointedModel();
    b.totalFrames = 100;
    cModel model;
    ASSERT_TRUE(load(model, b));
    EXPECT_EQ(model.m_skeleton->m_totalLength, 3333u);
}

TEST_F(ModelReaderTest, EachTriangleGoesToTheGroupItNames) {
    Ms3dBuilder b;
    b.groups = {group("a", {0, 1}), group("b"), group("c")};
    b.addTriangle(2, 0, 0, 1, 0, 0, 1);  // listed under group 0 but names group 2
    b.addTriangle(0, 0, 0, 1, 0, 0, 1);
    cModel model;
    ASSERT_TRUE(load(model, b));
    ASSERT_EQ(model.m_meshes.size(), 3u);
    EXPECT_EQ(model.m_meshes[0]->m_triangles.m_count, 1u);
    EXPECT_EQ(model.m_meshes[1]->m_triangles.m_count, 0u);
    EXPECT_EQ(model.m_meshes[2]->m_triangles.m_count, 1u);
}

TEST_F(ModelReaderTest, IndicesPastTheirArrays) {
    // A triangle in no existing group (255 is the usual "none") is dropped.
    Ms3dBuilder b;
    b.groups = {group("only")};
    b.addTriangle(255, 0, 0, 1, 0, 0, 1);
    b.addTriangle(1, 0, 0, 1, 0, 0, 1);
    b.addTriangle(0, 0, 0, 1, 0, 0, 1);
    cModel model;
    ASSERT_TRUE(load(model, b));
    ASSERT_EQ(model.m_meshes.size(), 1u);
    EXPECT_EQ(model.m_meshes[0]->m_triangles.m_count, 1u);

    // A material index past the materials is read as no material.
    Ms3dBuilder noSuchMaterial;
    noSuchMaterial.addTriangle(0, 0, 0, 1, 0, 0, 1);
    noSuchMaterial.groups = {group("g", {}, 3)};
    noSuchMaterial.materials = {material()};
    cModel second;
    ASSERT_TRUE(load(second, noSuchMaterial));
    EXPECT_TRUE(second.m_meshes[0]->m_states.empty());
    EXPECT_EQ(second.m_meshes[0]->m_sourceVertices.getVertices()[0].diffuse, 0x00FFFFFFu);

    // A corner naming a vertex the file does not have: the file is rejected.
    Ms3dBuilder badCorner;
    badCorner.addTriangle(0, 0, 0, 1, 0, 0, 1);
    badCorner.triangles[0].vertexIndices[1] = 3;
    badCorner.groups = {group("g")};
    cModel third;
    EXPECT_FALSE(load(third, badCorner));
    expectEmpty(third);
}

TEST_F(ModelReaderTest, NamesThatFillTheirFieldsKeepEveryByte) {
    const std::string longTexture(128, 't');
    const std::string longJoint(32, 'j');
    Ms3dBuilder b;
    b.addTriangle(0, 0, 0, 1, 0, 0, 1);
    b.groups = {group(std::string(32, 'g'), {}, 0)};
    ms3d::Material filled = material(std::string(32, 'm'));
    filled.texture = longTexture;
    b.materials = {filled};
    ms3d::Joint parent, child;
    parent.name = longJoint;
    child.name = "child";
    child.parentName = longJoint;
    b.joints = {parent, child};
    cModel model;
    ASSERT_TRUE(load(model, b));
    ASSERT_EQ(model.m_textureNames.size(), 1u);
    EXPECT_EQ(model.m_textureNames[0], longTexture);
    EXPECT_EQ(model.m_skeleton->m_joints[0].m_name, longJoint);
    EXPECT_EQ(model.m_skeleton->m_joints[1].m_parentIndex, 0);

    EXPECT_EQ(ms3dName("abc\0def", 7), "abc");
    EXPECT_EQ(ms3dName("abcdefg", 4), "abcd");
}

TEST_F(ModelReaderTest, RealWorldModelsLoadWithTheirCounts) {
    REQUIRE_FIXTURE_FILES();
    struct Expected {
        const char* file;
        size_t vertices, triangles, groups, materials;
        std::vector<std::string> textureNames;
    };
    const Expected models[] = {
        {"jeep1.ms3d", 1190, 2032, 7, 1, {".\\jeep1.jpg"}},
        {"twospheres.ms3d", 124, 240, 2, 0, {}},
        {"twospheres_withmats.ms3d", 124, 240, 2, 2, {}},
        {"yage_universe.ms3d", 24, 12, 6, 6, {}},
        {"yage_asteroid1.ms3d", 42, 80, 1, 1, {".\\asteroid1.jpg"}},
        {"yage_cow.ms3d", 377, 748, 1, 1, {".\\cow.png"}},
        {"yage_house.ms3d", 505, 293, 4, 3, {}},
    };
    for (const Expected& expected : models) {
        SCOPED_TRACE(expected.file);
        sMS3DData data;
        ASSERT_TRUE(readSections(fixture(expected.file), data));
        EXPECT_EQ(data.vertices.size(), expected.vertices);
        EXPECT_EQ(data.triangles.size(), expected.triangles);
        EXPECT_EQ(data.groups.size(), expected.groups);
        EXPECT_EQ(data.materials.size(), expected.materials);
        EXPECT_TRUE(data.joints.empty());

        cModel model;
        ASSERT_TRUE(model.load(fixture(expected.file).string(), ""));
        EXPECT_EQ(model.m_meshes.size(), expected.groups);
        EXPECT_EQ(model.m_materials.size(), expected.materials);
        uint32_t triangles = 0;
        for (cSkinnedMesh* mesh : model.m_meshes) {
            triangles += mesh->m_triangles.m_count;
            EXPECT_EQ(mesh->m_sourceVertices.m_count, 3 * mesh->m_triangles.m_count);
        }
        EXPECT_EQ(triangles, expected.triangles);
        if (!expected.textureNames.empty()) {
            EXPECT_EQ(model.m_textureNames, expected.textureNames);
        }
    }
    // The ones with several pictures: every name keeps its Windows separator.
    cModel universe;
    ASSERT_TRUE(universe.load(fixture("yage_universe.ms3d").string(), ""));
    EXPECT_EQ(universe.m_textureNames.size(), 6u);
    EXPECT_EQ(universe.m_textureNames[0], ".\\universe_top.png");
    cModel house;
    ASSERT_TRUE(house.load(fixture("yage_house.ms3d").string(), ""));
    ASSERT_EQ(house.m_textureNames.size(), 3u);
    for (const std::string& name : house.m_textureNames) EXPECT_EQ(name.rfind(".\\house-", 0), 0u) << name;
}

// Every shorter copy of a file fails to load, unless only bytes after the joints
// are missing, and none reads outside its arrays (the sanitizer build checks that).
void expectEveryPrefixHandled(const std::string& bytes, size_t sectionsEnd) {
    for (size_t length = 0; length < bytes.size(); ++length) {
        std::ofstream("prefix.ms3d", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(length));
        cModel model;
        EXPECT_EQ(model.load("prefix.ms3d", ""), length >= sectionsEnd) << "length " << length;
    }
}

TEST_F(ModelReaderTest, EveryTruncationOfASmallFileIsRejected) {
    Ms3dBuilder b = jointedModel();
    expectEveryPrefixHandled(b.bytes(), b.bytes().size());

    // Files from other tools may carry more after the joints (comments, say).
    b.trailing = std::string(20, '\x5A');
    expectEveryPrefixHandled(b.bytes(), b.bytes().size() - 20);
}

using ModelCorruptionTest = testing_support::DeviceTest;
using ModelFixtureDrawTest = testing_support::DeviceTest;

// ".\jeep1.jpg" beside the model loads; the house's pictures are not there, and
// each one missing is reported while every group is still drawn.
TEST_F(ModelFixtureDrawTest, RealWorldModelsDrawWithWhateverPicturesExist) {
    REQUIRE_FIXTURE_FILES();
    const std::string directory = fixture("").string();
    cModel jeep;
    ASSERT_TRUE(jeep.load(fixture("jeep1.ms3d").string(), directory));
    ASSERT_EQ(jeep.init(&d3d), S_OK);
    ASSERT_EQ(jeep.m_textures.size(), 1u);
    EXPECT_NE(jeep.m_textures[0]->m_texture, nullptr);
    EXPECT_TRUE(boxes.empty());

    cModel house;
    ASSERT_TRUE(house.load(fixture("yage_house.ms3d").string(), directory));
    ASSERT_EQ(house.init(&d3d), S_OK);
    EXPECT_EQ(boxes.size(), 3u);
    recorder().clearCalls();
    for (cModel* model : {&jeep, &house}) {
        EXPECT_EQ(model->uploadAll(), S_OK);
        EXPECT_EQ(model->begin(), S_OK);
        model->end();
    }
    size_t groupsWithTriangles = 0;
    for (cModel* model : {&jeep, &house}) {
        for (cSkinnedMesh* mesh : model->m_meshes) groupsWithTriangles += mesh->m_triangles.m_count > 0;
    }
    EXPECT_EQ(recorder().count("DrawIndexedPrimitive"), groupsWithTriangles);
}

// Random byte changes (fixed seed) in a small jointed model and in the generated
// test model: whatever loads is built, initialised, animated and drawn on the
// recording device.
TEST_F(ModelCorruptionTest, CorruptedFilesNeverReachOutsideTheirArrays) {
    crt::VirtualClock clock(0);
    crt::setClockSource(clock.source());
    std::vector<uint8_t> testModel;
    std::string error;
    ASSERT_TRUE(ms3d::serialize(datagen::buildTestModel(), testModel, &error)) << error;
    const std::string sources[] = {jointedModel().bytes(), std::string(testModel.begin(), testModel.end())};
    std::mt19937 random(20261206);
    int loaded = 0;
    for (const std::string& original : sources) {
        for (int round = 0; round < 600; ++round) {
            std::string bytes = original;
            const int flips = 1 + static_cast<int>(random() % 6);
            for (int i = 0; i < flips; ++i) {
                bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
            }
            writeFile("corrupt.ms3d", bytes);
            cModel model;
            if (!model.load("corrupt.ms3d", "")) continue;
            ++loaded;
            for (cSkinnedMesh* mesh : model.m_meshes) {
                ASSERT_EQ(mesh->m_jointIndices.size(), mesh->m_sourceVertices.m_count);
                ASSERT_EQ(mesh->m_sourceVertices.m_count, 3 * mesh->m_triangles.m_count);
            }
            model.init(&d3d);
            model.uploadAll();
            model.m_animate = true;
            for (uint32_t t : {0u, 250u, 999u, 5000u}) {
                clock.set(t);
                model.begin();
                model.end();
            }
            model.release();
            recorder().clearCalls();
        }
    }
    crt::setClockSource(nullptr);
    EXPECT_GT(loaded, 100) << "most single-byte changes leave a loadable file";
}

}  // namespace
