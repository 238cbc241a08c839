// The MS3D writer and the test model it writes, read back by a small reader of
// the test's own that is first checked against MS3D files made by other tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fixture_files.h"
#include "ms3d_writer.h"
#include "terrat_model.h"

namespace {

// ---------------------------------------------------------------------------
// A reader that keeps every field and fails on any byte missing.

class Cursor {
public:
    explicit Cursor(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    size_t offset() const { return at_; }
    size_t remaining() const { return bytes_.size() - at_; }

    uint32_t le(size_t n) {
        if (!take(n)) return 0;
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(bytes_[at_ - n + i]) << (8 * i);
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(le(1)); }
    int8_t i8() { return static_cast<int8_t>(le(1)); }
    uint16_t u16() { return static_cast<uint16_t>(le(2)); }
    int32_t i32() { return static_cast<int32_t>(le(4)); }
    float f32() {
        const uint32_t bits = le(4);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    ms3d::Vec3 vec3() { return {f32(), f32(), f32()}; }
    ms3d::Colour colour() { return {f32(), f32(), f32(), f32()}; }
    // A fixed-width name: the text up to its NUL, which must be inside the field.
    std::string name(size_t width) {
        if (!take(width)) return {};
        const char* start = reinterpret_cast<const char*>(bytes_.data() + at_ - width);
        const size_t length = strnlen(start, width);
        if (length == width) ok_ = false;
        return std::string(start, length);
    }
    std::string raw(size_t n) {
        if (!take(n)) return {};
        return std::string(reinterpret_cast<const char*>(bytes_.data() + at_ - n), n);
    }

private:
    bool take(size_t n) {
        if (!ok_ || n > remaining()) {
            ok_ = false;
            return false;
        }
        at_ += n;
        return true;
    }

    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

struct Parsed {
    ms3d::Model model;
    size_t jointSectionEnd = 0;  // offset just after the last joint record
};

std::vector<ms3d::Key> readKeys(Cursor& in, uint16_t count) {
    std::vector<ms3d::Key> keys(count);
    for (ms3d::Key& k : keys) {
        k.time = in.f32();
        k.value = in.vec3();
    }
    return keys;
}

bool parse(const std::vector<uint8_t>& bytes, Parsed& out) {
    Cursor in(bytes);
    if (in.raw(10) != "MS3D000000" || in.i32() != 4) return false;
    ms3d::Model& m = out.model;
    m.vertices.resize(in.u16());
    for (ms3d::Vertex& v : m.vertices) {
        v.flags = in.u8();
        v.position = in.vec3();
        v.boneId = in.i8();
        v.referenceCount = in.u8();
    }
    m.triangles.resize(in.u16());
    for (ms3d::Triangle& t : m.triangles) {
        t.flags = in.u16();
        for (uint16_t& index : t.vertexIndices) index = in.u16();
        for (ms3d::Vec3& n : t.vertexNormals) n = in.vec3();
        t.s = in.vec3();
        t.t = in.vec3();
        t.smoothingGroup = in.u8();
        t.groupIndex = in.u8();
    }
    m.groups.resize(in.u16());
    for (ms3d::Group& g : m.groups) {
        g.flags = in.u8();
        g.name = in.name(ms3d::kNameBytes);
        g.triangleIndices.resize(in.u16());
        for (uint16_t& index : g.triangleIndices) index = in.u16();
        g.materialIndex = in.i8();
        if (!in.ok()) return false;
    }
    m.materials.resize(in.u16());
    for (ms3d::Material& mat : m.materials) {
        mat.name = in.name(ms3d::kNameBytes);
        mat.ambient = in.colour();
        mat.diffuse = in.colour();
        mat.specular = in.colour();
        mat.emissive = in.colour();
        mat.shininess = in.f32();
        mat.transparency = in.f32();
        mat.mode = in.u8();
        mat.texture = in.name(ms3d::kFileNameBytes);
        mat.alphamap = in.name(ms3d::kFileNameBytes);
    }
    m.animationFps = in.f32();
    m.currentTime = in.f32();
    m.totalFrames = in.i32();
    m.joints.resize(in.u16());
    for (ms3d::Joint& j : m.joints) {
        j.flags = in.u8();
        j.name = in.name(ms3d::kNameBytes);
        j.parentName = in.name(ms3d::kNameBytes);
        j.rotation = in.vec3();
        j.position = in.vec3();
        const uint16_t rotations = in.u16();
        const uint16_t translations = in.u16();
        if (!in.ok()) return false;
        j.rotationKeys = readKeys(in, rotations);
        j.translationKeys = readKeys(in, translations);
    }
    out.jointSectionEnd = in.offset();
    return in.ok();
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

float length(const ms3d::Vec3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// ---------------------------------------------------------------------------
// The reader itself, on files made by other tools

TEST(DatagenModel, ReaderAgreesWithFilesFromOtherTools) {
    REQUIRE_FIXTURE_FILES();
    struct Expected {
        const char* file;
        size_t vertices, triangles, groups, materials, trailing;
    };
    const Expected files[] = {{"jeep1.ms3d", 1190, 2032, 7, 1, 0},
                              {"twospheres.ms3d", 124, 240, 2, 0, 1780},
                              {"yage_house.ms3d", 505, 293, 4, 3, 20}};
    for (const Expected& e : files) {
        const auto bytes = readFile(fixture_files::file("ms3d") / e.file);
        ASSERT_FALSE(bytes.empty()) << e.file;
        Parsed parsed;
        ASSERT_TRUE(parse(bytes, parsed)) << e.file;
        EXPECT_EQ(parsed.model.vertices.size(), e.vertices) << e.file;
        EXPECT_EQ(parsed.model.triangles.size(), e.triangles) << e.file;
        EXPECT_EQ(parsed.model.groups.size(), e.groups) << e.file;
        EXPECT_EQ(parsed.model.materials.size(), e.materials) << e.file;
        EXPECT_EQ(bytes.size() - parsed.jointSectionEnd, e.trailing) << e.file;
        // The same sums give the writer's idea of the file's size.
        EXPECT_EQ(ms3d::fileSize(parsed.model), parsed.jointSectionEnd) << e.file;
    }
}

// ---------------------------------------------------------------------------
// The writer, on a small model made here

ms3d::Model smallModel() {
    ms3d::Model m;
    for (int i = 0; i < 4; ++i) {
        ms3d::Vertex v;
        v.position = {static_cast<float>(i), 0.5f, -1.25f};
        v.boneId = static_cast<int8_t>(i < 2 ? 0 : 1);
        m.vertices.push_back(v);
    }
    for (int i = 0; i < 2; ++i) {
        ms3d::Triangle t;
        t.vertexIndices = {0, static_cast<uint16_t>(1 + i), static_cast<uint16_t>(2 + i)};
        t.vertexNormals = {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
        t.s = {0, 1, 1};
        t.t = {0, 0, 1};
        t.groupIndex = static_cast<uint8_t>(i);
        m.triangles.push_back(t);
    }
    m.groups.resize(2);
    m.groups[0].name = "first";
    m.groups[0].materialIndex = 0;
    m.groups[1].name = "second";
    m.groups[1].materialIndex = -1;
    ms3d::Material mat;
    mat.name = "shiny";
    mat.diffuse = {1, 0.5f, 0.25f, 1};
    mat.transparency = 0.5f;
    mat.mode = ms3d::kModeSphereMap;
    mat.texture = ".\\shiny.jpg";
    m.materials.push_back(mat);
    m.animationFps = 24;
    m.totalFrames = 48;
    ms3d::Joint root;
    root.name = "root";
    root.position = {1, 2, 3};
    root.rotationKeys = {{0, {0, 0, 0}}, {1.5f, {0.5f, 0, 0}}};
    root.translationKeys = {{0, {0, 1, 0}}};
    ms3d::Joint child;
    child.name = "child";
    child.parentName = "root";
    child.rotation = {0.1f, 0.2f, 0.3f};
    m.joints = {root, child};
    ms3d::countReferences(m);
    ms3d::listGroupTriangles(m);
    return m;
}

TEST(DatagenModel, WriterLaysOutEveryFieldLittleEndianAndPacked) {
    const ms3d::Model m = smallModel();
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(ms3d::serialize(m, bytes, &error)) << error;
    ASSERT_EQ(bytes.size(), ms3d::fileSize(m));

    // Header, then the vertex count at 14 and the first vertex at 16.
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 10), "MS3D000000");
    EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + 10, bytes.begin() + 16)),
              (std::vector<uint8_t>{4, 0, 0, 0, 4, 0}));
    // Vertex 2: flags, x = 2.0f (0x40000000), y = 0.5f, z = -1.25f, bone 1, used by 2 triangles.
    const size_t v2 = 16 + 2 * ms3d::kVertexBytes;
    EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + v2, bytes.begin() + v2 + 15)),
              (std::vector<uint8_t>{0, 0, 0, 0, 0x40, 0, 0, 0, 0x3F, 0, 0, 0xA0, 0xBF, 1, 2}));
    // The triangle section begins right after the four 15-byte vertices.
    const size_t triangles = 16 + 4 * ms3d::kVertexBytes;
    EXPECT_EQ(bytes[triangles], 2);
    EXPECT_EQ(bytes[triangles + 2 + ms3d::kTriangleBytes - 1], 0);      // first triangle's group
    EXPECT_EQ(bytes[triangles + 2 + 2 * ms3d::kTriangleBytes - 1], 1);  // second triangle's group
    // A group with no material ends with the byte 0xFF (-1).
    const size_t groups = triangles + 2 + 2 * ms3d::kTriangleBytes;
    const size_t group1 = groups + 2 + (1 + 32 + 2 + 2 + 1);
    EXPECT_EQ(bytes[group1 + 1 + 32 + 2 + 2], 0xFF);

    Parsed parsed;
    ASSERT_TRUE(parse(bytes, parsed));
    EXPECT_EQ(parsed.jointSectionEnd, bytes.size());
    const ms3d::Model& back = parsed.model;
    EXPECT_EQ(back.vertices[3].position, m.vertices[3].position);
    EXPECT_EQ(back.vertices[0].referenceCount, 2);
    EXPECT_EQ(back.vertices[3].referenceCount, 1);
    EXPECT_EQ(back.groups[0].triangleIndices, std::vector<uint16_t>{0});
    EXPECT_EQ(back.groups[1].triangleIndices, std::vector<uint16_t>{1});
    EXPECT_EQ(back.materials[0].texture, ".\\shiny.jpg");
    EXPECT_EQ(back.materials[0].mode, ms3d::kModeSphereMap);
    EXPECT_FLOAT_EQ(back.materials[0].transparency, 0.5f);
    EXPECT_FLOAT_EQ(back.animationFps, 24);
    EXPECT_EQ(back.totalFrames, 48);
    ASSERT_EQ(back.joints.size(), 2u);
    EXPECT_EQ(back.joints[1].parentName, "root");
    EXPECT_EQ(back.joints[1].rotation, m.joints[1].rotation);
    ASSERT_EQ(back.joints[0].rotationKeys.size(), 2u);
    EXPECT_FLOAT_EQ(back.joints[0].rotationKeys[1].time, 1.5f);
    EXPECT_FLOAT_EQ(back.joints[0].rotationKeys[1].value[0], 0.5f);
    EXPECT_FLOAT_EQ(back.joints[0].translationKeys[0].value[1], 1.0f);
}

TEST(DatagenModel, WriterRefusesModelsThatWouldReadBackWrong) {
    struct Case {
        const char* what;
        void (*spoil)(ms3d::Model&);
    };
    const Case cases[] = {
        {"name filling its whole field",
         [](ms3d::Model& m) { m.groups[0].name = std::string(32, 'g'); }},
        {"texture name too long",
         [](ms3d::Model& m) { m.materials[0].texture = std::string(128, 't'); }},
        {"parent after its child", [](ms3d::Model& m) { std::swap(m.joints[0], m.joints[1]); }},
        {"parent that does not exist", [](ms3d::Model& m) { m.joints[1].parentName = "nobody"; }},
        {"two joints with one name", [](ms3d::Model& m) { m.joints[1].name = "root"; }},
        {"bone id past the joints", [](ms3d::Model& m) { m.vertices[0].boneId = 2; }},
        {"vertex index past the vertices",
         [](ms3d::Model& m) { m.triangles[0].vertexIndices[2] = 4; }},
        {"group index past the groups", [](ms3d::Model& m) { m.triangles[1].groupIndex = 2; }},
        {"group listing another group's triangle",
         [](ms3d::Model& m) { m.groups[0].triangleIndices = {1}; }},
        {"material index past the materials",
         [](ms3d::Model& m) { m.groups[1].materialIndex = 1; }},
        {"keys going back in time", [](ms3d::Model& m) { m.joints[0].rotationKeys[1].time = -1; }},
        {"no animation speed", [](ms3d::Model& m) { m.animationFps = 0; }},
        {"a position that is not a number",
         [](ms3d::Model& m) { m.vertices[2].position[1] = std::nanf(""); }},
        {"more vertices than a 16-bit count", [](ms3d::Model& m) { m.vertices.resize(65536); }},
    };
    for (const Case& c : cases) {
        ms3d::Model m = smallModel();
        c.spoil(m);
        std::vector<uint8_t> bytes = {42};
        std::string error;
        EXPECT_FALSE(ms3d::serialize(m, bytes, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(bytes, std::vector<uint8_t>{42}) << c.what << ": output touched";
    }
}

// ---------------------------------------------------------------------------
// The test model

class TestModelFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(ms3d::serialize(datagen::buildTestModel(), bytes, &error)) << error;
        ASSERT_TRUE(parse(bytes, parsed));
    }
    const ms3d::Model& model() const { return parsed.model; }

    std::vector<uint8_t> bytes;
    Parsed parsed;
};

TEST_F(TestModelFile, SectionsAddUpToTheWholeFile) {
    EXPECT_EQ(parsed.jointSectionEnd, bytes.size());
    EXPECT_EQ(ms3d::fileSize(model()), bytes.size());
    EXPECT_GE(model().triangles.size(), 200u);  // small, but a real model
    EXPECT_LE(model().triangles.size(), 1000u);
}

TEST_F(TestModelFile, SkeletonIsJointedAndAnimatedForTwoSeconds) {
    const ms3d::Model& m = model();
    ASSERT_EQ(m.joints.size(), datagen::kTestModelJoints.size());
    const float seconds = static_cast<float>(m.totalFrames) / m.animationFps;
    EXPECT_GE(seconds, 2.0f);
    std::set<std::string> earlier;
    int withBothKinds = 0;
    for (const ms3d::Joint& j : m.joints) {
        EXPECT_TRUE(j.parentName.empty() || earlier.count(j.parentName))
            << j.name << " before its parent";
        earlier.insert(j.name);
        if (!j.rotationKeys.empty() && !j.translationKeys.empty()) ++withBothKinds;
        for (const auto* keys : {&j.rotationKeys, &j.translationKeys}) {
            for (size_t k = 0; k < keys->size(); ++k) {
                EXPECT_LE((*keys)[k].time, seconds + 1e-4f) << j.name;
                if (k > 0) {
                    EXPECT_GT((*keys)[k].time, (*keys)[k - 1].time) << j.name;
                }
            }
            // The walk loops without a jump: the last key repeats the first.
            if (!keys->empty()) {
                EXPECT_EQ(keys->front().value, keys->back().value) << j.name;
                EXPECT_FLOAT_EQ(keys->front().time, 0.0f) << j.name;
                EXPECT_NEAR(keys->back().time, seconds, 1e-4f) << j.name;
            }
        }
    }
    EXPECT_GE(withBothKinds, 4);
    // Something actually moves: the legs swing through a real angle.
    float swing = 0;
    for (const ms3d::Key& k : m.joints[6].rotationKeys)
        swing = std::max(swing, std::fabs(k.value[0]));
    EXPECT_GT(swing, 0.2f);
}

TEST_F(TestModelFile, MaterialsCoverEveryKindTheModelPathDraws) {
    const ms3d::Model& m = model();
    ASSERT_GE(m.groups.size(), 3u);
    bool plainTextured = false, sphereMapped = false, translucent = false, noMaterial = false;
    std::set<std::string> textures;
    for (const ms3d::Material& mat : m.materials) {
        if (!mat.texture.empty()) {
            EXPECT_EQ(mat.texture.rfind(".\\", 0), 0u)
                << mat.texture << " lacks the Windows prefix";
            textures.insert(mat.texture.substr(2));
        }
        plainTextured |=
            !mat.texture.empty() && !(mat.mode & ms3d::kModeSphereMap) && mat.transparency == 1.0f;
        sphereMapped |= (mat.mode & ms3d::kModeSphereMap) && !mat.texture.empty();
        translucent |= mat.transparency < 1.0f;
        // Vertex colours come from diffuse * 255 without clamping: keep it in range.
        for (int c = 0; c < 3; ++c) EXPECT_LE(mat.diffuse[c], 1.0f) << mat.name;
    }
    std::set<int> used;
    for (const ms3d::Group& g : m.groups) {
        noMaterial |= g.materialIndex < 0;
        used.insert(g.materialIndex);
        EXPECT_LT(g.materialIndex, static_cast<int>(m.materials.size())) << g.name;
    }
    EXPECT_TRUE(plainTextured);
    EXPECT_TRUE(sphereMapped);
    EXPECT_TRUE(translucent);
    EXPECT_TRUE(noMaterial);
    for (size_t i = 0; i < m.materials.size(); ++i)
        EXPECT_TRUE(used.count(static_cast<int>(i))) << "material " << i << " unused";
    // Every texture the model names is one the generator writes beside it.
    std::set<std::string> written;
    for (const auto& picture : datagen::testModelPictures()) written.insert(picture.file);
    EXPECT_EQ(textures, written);
}

TEST_F(TestModelFile, GeometryIsConsistentAndFacesOutward) {
    const ms3d::Model& m = model();
    std::vector<int> references(m.vertices.size(), 0);
    int unbound = 0;
    for (const ms3d::Vertex& v : m.vertices) {
        EXPECT_LT(v.boneId, static_cast<int>(m.joints.size()));
        EXPECT_GE(v.boneId, -1);
        if (v.boneId < 0) ++unbound;
    }
    EXPECT_LE(unbound, static_cast<int>(m.vertices.size() / 20));
    std::vector<std::vector<uint16_t>> members(m.groups.size());
    for (size_t i = 0; i < m.triangles.size(); ++i) {
        const ms3d::Triangle& t = m.triangles[i];
        ASSERT_LT(t.groupIndex, m.groups.size());
        members[t.groupIndex].push_back(static_cast<uint16_t>(i));
        ms3d::Vec3 p[3];
        for (int k = 0; k < 3; ++k) {
            ASSERT_LT(t.vertexIndices[k], m.vertices.size());
            ++references[t.vertexIndices[k]];
            p[k] = m.vertices[t.vertexIndices[k]].position;
            EXPECT_NEAR(length(t.vertexNormals[k]), 1.0f, 1e-4f) << "triangle " << i;
        }
        // Counter-clockwise seen from the side the normals point to (the file is
        // right-handed), so the engine's mirroring keeps the front in front.
        const ms3d::Vec3 u{p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const ms3d::Vec3 w{p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const ms3d::Vec3 face{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2],
                              u[0] * w[1] - u[1] * w[0]};
        ASSERT_GT(length(face), 0.0f) << "degenerate triangle " << i;
        for (int k = 0; k < 3; ++k) {
            const ms3d::Vec3& n = t.vertexNormals[k];
            EXPECT_GT(face[0] * n[0] + face[1] * n[1] + face[2] * n[2], 0.0f)
                << "triangle " << i << " faces inward";
        }
    }
    for (size_t g = 0; g < m.groups.size(); ++g) {
        EXPECT_EQ(m.groups[g].triangleIndices, members[g]) << m.groups[g].name;
        EXPECT_FALSE(members[g].empty()) << m.groups[g].name;
    }
    for (size_t v = 0; v < m.vertices.size(); ++v) {
        EXPECT_GT(references[v], 0) << "vertex " << v << " unused";
        EXPECT_EQ(m.vertices[v].referenceCount, std::min(references[v], 255)) << "vertex " << v;
    }
    // Sized for the test scene's camera (distance 100, 60 degree view): tall
    // enough to see, small enough to stay in the picture.
    float low = 1e9f, high = -1e9f;
    for (const ms3d::Vertex& v : m.vertices) {
        low = std::min(low, v.position[1]);
        high = std::max(high, v.position[1]);
    }
    EXPECT_GT(high - low, 40.0f);
    EXPECT_LT(high, 50.0f);
    EXPECT_GT(low, -50.0f);
}

}  // namespace
