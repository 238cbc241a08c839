#include "terrat_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace datagen {

// Right-handed, y up, in the file's units; the robot faces -z, which the engine's
// mirroring turns towards the test model's camera. It stands about 75 units
// tall, centred near the origin, so the camera at distance 100 (60 degree view)
// shows it whole while the scene sways.
const std::vector<const char*> kTestModelJoints = {
    "pelvis", "spine", "head", "antenna", "arm_L", "arm_R", "leg_L", "shin_L", "leg_R", "shin_R"};

namespace {

using ms3d::Vec3;

enum Joint : int8_t {
    kPelvis,
    kSpine,
    kHead,
    kAntenna,
    kArmL,
    kArmR,
    kLegL,
    kShinL,
    kLegR,
    kShinR
};
enum Group : uint8_t { kBody, kTrim, kChrome, kVisor, kGrille };

struct JointPlace {
    Joint parent;  // a joint's own id when it is a root
    Vec3 absolute;
};

// Where each joint sits in the bind pose (absolute); the file stores the offset
// from the parent.
constexpr std::array<JointPlace, 10> kJointPlaces = {{
    {kPelvis, {0, -4, 0}},   // pelvis (root)
    {kPelvis, {0, 0, 0}},    // spine
    {kSpine, {0, 17, 0}},    // head: the neck
    {kHead, {0, 28.5f, 0}},  // antenna: top of the head
    {kSpine, {-13, 14, 0}},  // arm_L: shoulder (facing -z, its left is at -x)
    {kSpine, {13, 14, 0}},   // arm_R
    {kPelvis, {-6, -8, 0}},  // leg_L: hip
    {kLegL, {-6, -20, 0}},   // shin_L: knee
    {kPelvis, {6, -8, 0}},   // leg_R
    {kLegR, {6, -20, 0}},    // shin_R
}};

Vec3 operator+(Vec3 a, Vec3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 operator*(Vec3 a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
float dot(Vec3 a, Vec3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(Vec3 a, Vec3 b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 normalised(Vec3 v) {
    const float length = std::sqrt(dot(v, v));
    return length > 0 ? v * (1.0f / length) : Vec3{0, 1, 0};
}

constexpr float kPi = 3.14159265358979f;
// Texture repeats: one tile of the panel picture spans this many units.
constexpr float kTileUnits = 10.0f;

struct Corner {
    uint16_t vertex;
    Vec3 normal;
    float s, t;
};

// Adds vertices and triangles to a model; every triangle is wound so that its
// front (counter-clockwise, right-handed) faces the direction it is given.
class Builder {
public:
    explicit Builder(ms3d::Model& model) : model_(model) {}

    uint16_t vertex(Vec3 position, Joint bone) {
        ms3d::Vertex v;
        v.position = position;
        v.boneId = bone;
        model_.vertices.push_back(v);
        return static_cast<uint16_t>(model_.vertices.size() - 1);
    }

    void triangle(Group group, Corner a, Corner b, Corner c, Vec3 outward) {
        const Vec3 pa = model_.vertices[a.vertex].position;
        const Vec3 facing =
            cross(model_.vertices[b.vertex].position - pa, model_.vertices[c.vertex].position - pa);
        if (dot(facing, outward) < 0) std::swap(b, c);
        ms3d::Triangle t;
        const std::array<Corner, 3> corners = {a, b, c};
        for (int k = 0; k < 3; ++k) {
            t.vertexIndices[k] = corners[k].vertex;
            t.vertexNormals[k] = corners[k].normal;
            t.s[k] = corners[k].s;
            t.t[k] = corners[k].t;
        }
        t.groupIndex = group;
        model_.triangles.push_back(t);
    }

    // A box standing on its bottom face; the top face is scaled by `topScale` in
    // x and z (a tapered block). Flat faces, the panel texture laid on at a fixed
    // scale so the plates keep their size on every part.
    void box(Group group, Joint bone, Vec3 centre, Vec3 size, float topScale = 1.0f) {
        std::array<uint16_t, 8> corner;
        std::array<Vec3, 8> position;
        for (int i = 0; i < 8; ++i) {
            const float sx = (i & 1) ? 0.5f : -0.5f;
            const float sy = (i & 2) ? 0.5f : -0.5f;
            const float sz = (i & 4) ? 0.5f : -0.5f;
            const float widen = (i & 2) ? topScale : 1.0f;
            position[i] = centre + Vec3{sx * size[0] * widen, sy * size[1], sz * size[2] * widen};
            corner[i] = vertex(position[i], bone);
        }
        // Each face: four corners going round it, and its two side lengths.
        struct Face {
            std::array<int, 4> c;
            float across, up;
        };
        const std::array<Face, 6> faces = {{
            {{0, 1, 3, 2}, size[0], size[1]},  // -z (front)
            {{5, 4, 6, 7}, size[0], size[1]},  // +z
            {{4, 0, 2, 6}, size[2], size[1]},  // -x
            {{1, 5, 7, 3}, size[2], size[1]},  // +x
            {{2, 3, 7, 6}, size[0], size[2]},  // +y
            {{4, 5, 1, 0}, size[0], size[2]},  // -y
        }};
        for (const Face& f : faces) {
            const Vec3 faceCentre =
                (position[f.c[0]] + position[f.c[1]] + position[f.c[2]] + position[f.c[3]]) * 0.25f;
            const Vec3 outward = faceCentre - centre;
            Vec3 normal = normalised(
                cross(position[f.c[1]] - position[f.c[0]], position[f.c[3]] - position[f.c[0]]));
            if (dot(normal, outward) < 0) normal = normal * -1.0f;
            const float u = f.across / kTileUnits;
            const float v = f.up / kTileUnits;
            const Corner k0{corner[f.c[0]], normal, 0, v};
            const Corner k1{corner[f.c[1]], normal, u, v};
            const Corner k2{corner[f.c[2]], normal, u, 0};
            const Corner k3{corner[f.c[3]], normal, 0, 0};
            triangle(group, k0, k1, k2, outward);
            triangle(group, k0, k2, k3, outward);
        }
    }

    // A smooth sphere of `rings` latitude bands and `segments` longitude steps.
    void sphere(Group group, Joint bone, Vec3 centre, float radius, int segments, int rings) {
        auto point = [&](int ring, int segment) {
            const float polar = kPi * static_cast<float>(ring) / static_cast<float>(rings);
            const float around =
                2 * kPi * static_cast<float>(segment) / static_cast<float>(segments);
            return Vec3{std::sin(polar) * std::cos(around), std::cos(polar),
                        std::sin(polar) * std::sin(around)};
        };
        const uint16_t top = vertex(centre + Vec3{0, radius, 0}, bone);
        const uint16_t first = static_cast<uint16_t>(model_.vertices.size());
        for (int ring = 1; ring < rings; ++ring) {
            for (int segment = 0; segment < segments; ++segment)
                vertex(centre + point(ring, segment) * radius, bone);
        }
        const uint16_t bottom = vertex(centre + Vec3{0, -radius, 0}, bone);
        auto at = [&](int ring, int segment) -> Corner {
            const Vec3 n = point(ring, segment);
            const float s = static_cast<float>(segment) / static_cast<float>(segments);
            const float t = static_cast<float>(ring) / static_cast<float>(rings);
            uint16_t index =
                ring == 0 ? top
                : ring == rings
                    ? bottom
                    : static_cast<uint16_t>(first + (ring - 1) * segments + segment % segments);
            return {index, n, s, t};
        };
        for (int ring = 0; ring < rings; ++ring) {
            for (int segment = 0; segment < segments; ++segment) {
                const Corner a = at(ring, segment), b = at(ring, segment + 1);
                const Corner c = at(ring + 1, segment), d = at(ring + 1, segment + 1);
                const Vec3 outward = point(ring, segment) + point(ring + 1, segment + 1);
                if (ring > 0) triangle(group, a, b, d, outward);
                if (ring < rings - 1) triangle(group, a, d, c, outward);
            }
        }
    }

    // The side of an upright cylinder from `bottom` up by `height`.
    void tube(Group group, Joint bone, Vec3 bottom, float height, float radius, int segments) {
        const uint16_t first = static_cast<uint16_t>(model_.vertices.size());
        for (int level = 0; level < 2; ++level) {
            for (int segment = 0; segment < segments; ++segment) {
                const float around =
                    2 * kPi * static_cast<float>(segment) / static_cast<float>(segments);
                vertex(bottom + Vec3{radius * std::cos(around), height * static_cast<float>(level),
                                     radius * std::sin(around)},
                       bone);
            }
        }
        for (int segment = 0; segment < segments; ++segment) {
            const int next = (segment + 1) % segments;
            auto at = [&](int level, int seg, float s) -> Corner {
                const float around =
                    2 * kPi * static_cast<float>(seg) / static_cast<float>(segments);
                return {static_cast<uint16_t>(first + level * segments + seg),
                        {std::cos(around), 0, std::sin(around)},
                        s,
                        level ? 0.0f : 1.0f};
            };
            const float s0 = static_cast<float>(segment) / static_cast<float>(segments);
            const float s1 = static_cast<float>(segment + 1) / static_cast<float>(segments);
            const Corner a = at(0, segment, s0), b = at(0, next, s1);
            const Corner c = at(1, segment, s0), d = at(1, next, s1);
            const float mid =
                2 * kPi * (static_cast<float>(segment) + 0.5f) / static_cast<float>(segments);
            const Vec3 outward{std::cos(mid), 0, std::sin(mid)};
            triangle(group, a, b, d, outward);
            triangle(group, a, d, c, outward);
        }
    }

private:
    ms3d::Model& model_;
};

void buildBody(Builder& b) {
    // Trunk
    b.box(kBody, kPelvis, {0, -6, 0}, {16, 6, 10});
    b.box(kBody, kSpine, {0, 6, 0}, {20, 16, 12}, 1.15f);
    b.box(kTrim, kSpine, {0, -1.5f, 0}, {21, 3, 13});
    b.box(kTrim, kSpine, {0, 7.5f, -6.6f}, {9, 6, 1.2f});     // chest panel
    b.sphere(kChrome, kSpine, {0, 7.5f, -7.3f}, 1.6f, 6, 4);  // its button
    b.tube(kTrim, kSpine, {0, 13.5f, 0}, 4.5f, 3, 8);
    // Head: a block with a glass visor over two chrome eyes, and an antenna.
    b.box(kBody, kHead, {0, 23, 0}, {16, 11, 13});
    b.sphere(kChrome, kHead, {3.6f, 23.5f, -6.2f}, 2.1f, 6, 4);
    b.sphere(kChrome, kHead, {-3.6f, 23.5f, -6.2f}, 2.1f, 6, 4);
    b.box(kVisor, kHead, {0, 23.5f, -6.9f}, {14, 5, 1.6f});
    // The mouth grille has no material: it shows whatever the device was left
    // with, which in the test scene (lit from behind) is dark.
    b.box(kGrille, kHead, {0, 19.9f, -6.7f}, {7, 0.8f, 0.8f});
    b.box(kGrille, kHead, {0, 18.7f, -6.7f}, {7, 0.8f, 0.8f});
    b.tube(kTrim, kAntenna, {0, 28.3f, 0}, 7.5f, 0.6f, 6);
    b.sphere(kChrome, kAntenna, {0, 37.3f, 0}, 1.8f, 6, 4);
    // Arms: chrome shoulder balls, a block each, trim hands.
    for (int side = 0; side < 2; ++side) {
        const float x = side == 0 ? -13.0f : 13.0f;
        const Joint arm = side == 0 ? kArmL : kArmR;
        b.sphere(kChrome, arm, {x, 14, 0}, 3.3f, 8, 5);
        b.box(kBody, arm, {x, 5.5f, 0}, {4.5f, 14, 4.5f});
        b.box(kTrim, arm, {x, -3.5f, 0}, {5.5f, 4.5f, 5.5f});
    }
    // Legs: thigh, chrome knee, shin and foot.
    for (int side = 0; side < 2; ++side) {
        const float x = side == 0 ? -6.0f : 6.0f;
        const Joint leg = side == 0 ? kLegL : kLegR;
        const Joint shin = side == 0 ? kShinL : kShinR;
        b.box(kBody, leg, {x, -14, 0}, {5.5f, 11, 5.5f});
        b.sphere(kChrome, shin, {x, -20, 0}, 3.0f, 8, 5);
        b.box(kBody, shin, {x, -27, 0}, {5, 12, 5}, 0.85f);
        b.box(kTrim, shin, {x, -34.5f, -1.5f}, {7, 3, 11});
    }
}

ms3d::Material material(const char* name, ms3d::Colour ambient, ms3d::Colour diffuse,
                        ms3d::Colour specular, ms3d::Colour emissive, float shininess,
                        float transparency, uint8_t mode, const char* texture) {
    ms3d::Material m;
    m.name = name;
    m.ambient = ambient;
    m.diffuse = diffuse;
    m.specular = specular;
    m.emissive = emissive;
    m.shininess = shininess;
    m.transparency = transparency;
    m.mode = mode;
    m.texture = texture;
    return m;
}

void addMaterialsAndGroups(ms3d::Model& model) {
    // The test scene's light shines from behind the robot, so ambient carries
    // most of the colour. Two materials share the panel picture on purpose.
    model.materials = {
        material("terra_paint", {0.62f, 0.46f, 0.32f, 1}, {1.0f, 0.78f, 0.55f, 1},
                 {0.3f, 0.3f, 0.3f, 1}, {0, 0, 0, 1}, 20, 1.0f, 0, ".\\terraT_skin.jpg"),
        material("terra_trim", {0.30f, 0.33f, 0.38f, 1}, {0.45f, 0.50f, 0.58f, 1},
                 {0.2f, 0.2f, 0.2f, 1}, {0, 0, 0, 1}, 10, 1.0f, 0, ".\\terraT_skin.jpg"),
        material("terra_chrome", {0.80f, 0.80f, 0.85f, 1}, {1, 1, 1, 1}, {1, 1, 1, 1},
                 {0.1f, 0.1f, 0.1f, 1}, 60, 1.0f, ms3d::kModeSphereMap, ".\\terraT_chrome.jpg"),
        material("terra_visor", {0.10f, 0.50f, 0.60f, 1}, {0.30f, 0.90f, 1.0f, 1}, {1, 1, 1, 1},
                 {0.10f, 0.35f, 0.40f, 1}, 80, 0.55f, 0, ""),
    };
    const std::array<std::pair<const char*, int8_t>, 5> groups = {
        {{"body", 0}, {"trim", 1}, {"chrome", 2}, {"visor", 3}, {"grille", -1}}};
    for (const auto& [name, materialIndex] : groups) {
        ms3d::Group g;
        g.name = name;
        g.materialIndex = materialIndex;
        model.groups.push_back(g);
    }
}

// The walk: one stride a second, two in the animation; the head looks left and
// right once. Keys every eighth of a second; the last key repeats the first so
// the loop has no seam.
constexpr float kLength = 2.0f;
constexpr int kKeysPerSecond = 8;

template <typename Curve>
std::vector<ms3d::Key> sampled(Curve curve) {
    std::vector<ms3d::Key> keys;
    const int count = static_cast<int>(kLength) * kKeysPerSecond;
    for (int i = 0; i <= count; ++i) {
        const float time = static_cast<float>(i) / kKeysPerSecond;
        keys.push_back({time, i == count ? keys.front().value : curve(time)});
    }
    return keys;
}

float stride(float t) { return 2 * kPi * t; }  // one stride per second

void addJoints(ms3d::Model& model) {
    for (size_t j = 0; j < kJointPlaces.size(); ++j) {
        ms3d::Joint joint;
        joint.name = kTestModelJoints[j];
        const JointPlace& place = kJointPlaces[j];
        const bool root = place.parent == static_cast<Joint>(j);
        joint.parentName = root ? "" : kTestModelJoints[place.parent];
        joint.position =
            root ? place.absolute : place.absolute - kJointPlaces[place.parent].absolute;
        model.joints.push_back(joint);
    }
    auto& joints = model.joints;
    // The hips dip when the legs are apart, sway and twist with each step.
    joints[kPelvis].translationKeys = sampled([](float t) {
        return Vec3{0.8f * std::sin(stride(t)), 1.2f * std::cos(2 * stride(t)), 0};
    });
    joints[kPelvis].rotationKeys = sampled([](float t) {
        return Vec3{0, 0.12f * std::sin(stride(t)), 0.05f * std::sin(stride(t))};
    });
    // The chest turns against the hips and breathes.
    joints[kSpine].rotationKeys = sampled([](float t) {
        return Vec3{0.06f, -0.18f * std::sin(stride(t)), 0};
    });
    joints[kSpine].translationKeys = sampled([](float t) {
        return Vec3{0, 0.3f * std::sin(2 * stride(t)), 0};
    });
    joints[kHead].rotationKeys = sampled([](float t) {
        return Vec3{0.08f * std::sin(2 * stride(t)), 0.5f * std::sin(kPi * t), 0};
    });
    joints[kHead].translationKeys = sampled([](float t) {
        return Vec3{0, 0.4f * std::cos(2 * stride(t) - 0.6f), 0};
    });
    joints[kAntenna].rotationKeys = sampled([](float t) {
        return Vec3{0.1f * std::cos(2 * stride(t)), 0, 0.25f * std::sin(2 * stride(t) + 0.5f)};
    });
    // Arms swing against the legs on their side; shoulders lift a little.
    for (int side = 0; side < 2; ++side) {
        const float sign = side == 0 ? -1.0f : 1.0f;
        ms3d::Joint& arm = joints[side == 0 ? kArmL : kArmR];
        arm.rotationKeys = sampled([sign](float t) {
            return Vec3{sign * 0.35f * std::sin(stride(t)), 0, sign * 0.08f};
        });
        arm.translationKeys = sampled([](float t) {
            return Vec3{0, 0.3f * std::cos(2 * stride(t)), 0};
        });
    }
    // Legs: a positive turn about x carries the foot forward (to -z); the knee
    // bends while the leg swings forward.
    for (int side = 0; side < 2; ++side) {
        const float sign = side == 0 ? 1.0f : -1.0f;
        joints[side == 0 ? kLegL : kLegR].rotationKeys = sampled([sign](float t) {
            return Vec3{sign * 0.45f * std::sin(stride(t)), 0, 0};
        });
        joints[side == 0 ? kShinL : kShinR].rotationKeys = sampled([sign](float t) {
            const float swing = sign * std::cos(stride(t));
            return Vec3{-0.8f * std::max(0.0f, swing), 0, 0};
        });
    }
}

}  // namespace

ms3d::Model buildTestModel() {
    ms3d::Model model;
    addMaterialsAndGroups(model);
    Builder builder(model);
    buildBody(builder);
    addJoints(model);
    model.animationFps = 30;
    model.currentTime = 0;
    model.totalFrames = static_cast<int32_t>(kLength * model.animationFps);
    ms3d::countReferences(model);
    ms3d::listGroupTriangles(model);
    return model;
}

}  // namespace datagen
