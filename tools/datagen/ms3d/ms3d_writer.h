// Writer for MS3D model files, version 4: the header "MS3D000000" and version,
// then the vertex, triangle, group and material sections, the animation header
// and the joints with their keys. Little-endian, no padding: every record is
// written field by field. Nothing follows the joints (readers stop there).
//
// The data generator writes the test model with it (serialize, which refuses a
// model that would not read back as it means); the model tests and the fuzz
// seeds write hand-made and broken models with it (encode, which writes any
// model as it stands).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ms3d {

// Field widths in the file.
constexpr size_t kNameBytes = 32;       // group, material and joint names
constexpr size_t kFileNameBytes = 128;  // texture and alpha map names
constexpr size_t kHeaderBytes = 14;     // id + version
constexpr size_t kVertexBytes = 15;
constexpr size_t kTriangleBytes = 70;
constexpr size_t kMaterialBytes = 361;
constexpr size_t kAnimationBytes = 12;   // fps, current time, total frames
constexpr size_t kJointFixedBytes = 93;  // a joint record before its keys
constexpr size_t kKeyBytes = 16;         // time + three values
constexpr int32_t kVersion = 4;

// Material mode bit: the texture is a sphere (environment) map.
constexpr uint8_t kModeSphereMap = 0x80;

using Vec3 = std::array<float, 3>;
using Colour = std::array<float, 4>;  // r, g, b, a

struct Vertex {
    uint8_t flags = 0;
    Vec3 position{};
    int8_t boneId = -1;  // joint that moves the vertex, -1 for none
    uint8_t referenceCount = 0;
};

struct Triangle {
    uint16_t flags = 0;
    std::array<uint16_t, 3> vertexIndices{};
    std::array<Vec3, 3> vertexNormals{};
    Vec3 s{};  // texture u per corner
    Vec3 t{};  // texture v per corner
    uint8_t smoothingGroup = 1;
    uint8_t groupIndex = 0;
};

struct Group {
    uint8_t flags = 0;
    std::string name;
    std::vector<uint16_t> triangleIndices;
    int8_t materialIndex = -1;  // -1: no material
};

// By default a plain grey, opaque and untextured material (the fixed-function
// pipeline's default colours).
struct Material {
    std::string name;
    Colour ambient{0.2f, 0.2f, 0.2f, 1};
    Colour diffuse{0.8f, 0.8f, 0.8f, 1};
    Colour specular{0, 0, 0, 1};
    Colour emissive{0, 0, 0, 1};
    float shininess = 0;
    float transparency = 1;  // 1 = opaque
    uint8_t mode = 0;
    std::string texture;  // e.g. ".\\skin.jpg"; empty = untextured
    std::string alphamap;
};

struct Key {
    float time = 0;  // seconds
    Vec3 value{};    // radians (rotation keys) or units (translation keys)
};

struct Joint {
    uint8_t flags = 0;
    std::string name;
    std::string parentName;  // empty for a root; a parent comes before its children
    Vec3 rotation{};         // bind rotation, Euler angles in radians
    Vec3 position{};         // bind translation relative to the parent
    std::vector<Key> rotationKeys;
    std::vector<Key> translationKeys;
};

struct Model {
    std::vector<Vertex> vertices;
    std::vector<Triangle> triangles;
    std::vector<Group> groups;
    std::vector<Material> materials;
    float animationFps = 30;
    float currentTime = 0;
    int32_t totalFrames = 0;
    std::vector<Joint> joints;
};

// Sets each vertex's referenceCount to the number of triangle corners that use
// it (at most 255), as modelling tools do.
void countReferences(Model& model);

// Each group's triangle list made from the triangles' groupIndex, in order.
void listGroupTriangles(Model& model);

// Appends a triangle of three new vertices at `corners`, moved by joint `boneId`,
// in group `group` (which the group's list does not get). Every corner's normal
// is +z and its texture coordinates are 0: for small hand-made models drawn in
// planes of constant z. Returns the new triangle's index.
size_t addTriangle(Model& model, uint8_t group, const std::array<Vec3, 3>& corners,
                   int8_t boneId = -1);

// The file's size: the sum of its sections.
size_t fileSize(const Model& model);

// Checks that the model can be written and read back as it means: counts fit
// their 16-bit fields, names fit theirs with a terminating NUL, every index
// (vertex, group, material, bone) points at something that exists, every parent
// is named before its child, and key times do not go backwards.
bool validate(const Model& model, std::string* error);

// The file's bytes; false (and `out` untouched) when validate fails.
bool serialize(const Model& model, std::vector<uint8_t>& out, std::string* error);

// The file's bytes for any model, unchecked, with `version` in the header:
// counts are cut to their 16 bits, names to their fields (one as long as its
// field keeps no NUL), and indices are written whatever they point at. For
// files no good writer makes, which readers must refuse or survive.
std::vector<uint8_t> encode(const Model& model, int32_t version = kVersion);

}  // namespace ms3d
