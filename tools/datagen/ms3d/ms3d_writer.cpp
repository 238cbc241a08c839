#include "ms3d_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace ms3d {
namespace {

constexpr char kId[10] = {'M', 'S', '3', 'D', '0', '0', '0', '0', '0', '0'};
constexpr size_t kMaxCount = std::numeric_limits<uint16_t>::max();

// Appends values in the file's byte order, whatever the machine's.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    void u8(uint8_t v) { out_.push_back(v); }
    void i8(int8_t v) { out_.push_back(static_cast<uint8_t>(v)); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void vec3(const Vec3& v) {
        for (float c : v) f32(c);
    }
    void colour(const Colour& c) {
        for (float v : c) f32(v);
    }
    void count(size_t n) { u16(static_cast<uint16_t>(n)); }
    // A NUL-padded fixed-width field; text longer than the field is cut.
    void name(const std::string& text, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
    // Byte by byte, like every other field: GCC 12 at -O3 misreads a range
    // insert into the reserved buffer as an overflow and warns.
    void bytes(const char* data, size_t n) {
        for (size_t i = 0; i < n; ++i) u8(static_cast<uint8_t>(data[i]));
    }

private:
    std::vector<uint8_t>& out_;
};

void writeVertex(ByteWriter& w, const Vertex& v) {
    w.u8(v.flags);
    w.vec3(v.position);
    w.i8(v.boneId);
    w.u8(v.referenceCount);
}

void writeTriangle(ByteWriter& w, const Triangle& t) {
    w.u16(t.flags);
    for (uint16_t index : t.vertexIndices) w.u16(index);
    for (const Vec3& normal : t.vertexNormals) w.vec3(normal);
    w.vec3(t.s);
    w.vec3(t.t);
    w.u8(t.smoothingGroup);
    w.u8(t.groupIndex);
}

void writeGroup(ByteWriter& w, const Group& g) {
    w.u8(g.flags);
    w.name(g.name, kNameBytes);
    w.count(g.triangleIndices.size());
    for (uint16_t index : g.triangleIndices) w.u16(index);
    w.i8(g.materialIndex);
}

void writeMaterial(ByteWriter& w, const Material& m) {
    w.name(m.name, kNameBytes);
    w.colour(m.ambient);
    w.colour(m.diffuse);
    w.colour(m.specular);
    w.colour(m.emissive);
    w.f32(m.shininess);
    w.f32(m.transparency);
    w.u8(m.mode);
    w.name(m.texture, kFileNameBytes);
    w.name(m.alphamap, kFileNameBytes);
}

void writeKeys(ByteWriter& w, const std::vector<Key>& keys) {
    for (const Key& key : keys) {
        w.f32(key.time);
        w.vec3(key.value);
    }
}

void writeJoint(ByteWriter& w, const Joint& j) {
    w.u8(j.flags);
    w.name(j.name, kNameBytes);
    w.name(j.parentName, kNameBytes);
    w.vec3(j.rotation);
    w.vec3(j.position);
    w.count(j.rotationKeys.size());
    w.count(j.translationKeys.size());
    writeKeys(w, j.rotationKeys);
    writeKeys(w, j.translationKeys);
}

bool fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

bool fits(const std::string& text, size_t width) {
    return text.size() < width && text.find('\0') == std::string::npos;
}

bool allFinite(const float* values, size_t n) {
    return std::all_of(values, values + n, [](float v) { return std::isfinite(v); });
}

bool keysInOrder(const std::vector<Key>& keys) {
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!std::isfinite(keys[i].time) || keys[i].time < 0) return false;
        if (!allFinite(keys[i].value.data(), 3)) return false;
        if (i > 0 && keys[i].time < keys[i - 1].time) return false;
    }
    return true;
}

bool validateJoints(const Model& model, std::string* error) {
    for (size_t j = 0; j < model.joints.size(); ++j) {
        const Joint& joint = model.joints[j];
        const std::string which = "joint " + std::to_string(j) + " (" + joint.name + ")";
        if (joint.name.empty() || !fits(joint.name, kNameBytes) ||
            !fits(joint.parentName, kNameBytes)) {
            return fail(error, which + ": name empty or longer than 31 bytes");
        }
        for (size_t other = 0; other < j; ++other) {
            if (model.joints[other].name == joint.name)
                return fail(error, which + ": name used twice");
        }
        if (!joint.parentName.empty()) {
            const auto before = model.joints.begin() + static_cast<std::ptrdiff_t>(j);
            const bool parentEarlier =
                std::any_of(model.joints.begin(), before,
                            [&](const Joint& p) { return p.name == joint.parentName; });
            if (!parentEarlier) return fail(error, which + ": parent is not an earlier joint");
        }
        if (joint.rotationKeys.size() > kMaxCount || joint.translationKeys.size() > kMaxCount) {
            return fail(error, which + ": too many keys");
        }
        if (!keysInOrder(joint.rotationKeys) || !keysInOrder(joint.translationKeys)) {
            return fail(error, which + ": key times must be finite, not negative and in order");
        }
    }
    return true;
}

}  // namespace

void countReferences(Model& model) {
    std::vector<unsigned> uses(model.vertices.size(), 0);
    for (const Triangle& t : model.triangles) {
        for (uint16_t index : t.vertexIndices) {
            if (index < uses.size()) ++uses[index];
        }
    }
    for (size_t i = 0; i < model.vertices.size(); ++i) {
        model.vertices[i].referenceCount = static_cast<uint8_t>(std::min(uses[i], 255u));
    }
}

void listGroupTriangles(Model& model) {
    for (Group& group : model.groups) group.triangleIndices.clear();
    for (size_t i = 0; i < model.triangles.size(); ++i) {
        const uint8_t g = model.triangles[i].groupIndex;
        if (g < model.groups.size())
            model.groups[g].triangleIndices.push_back(static_cast<uint16_t>(i));
    }
}

size_t addTriangle(Model& model, uint8_t group, const std::array<Vec3, 3>& corners, int8_t boneId) {
    Triangle triangle;
    for (size_t k = 0; k < corners.size(); ++k) {
        Vertex vertex;
        vertex.position = corners[k];
        vertex.boneId = boneId;
        triangle.vertexIndices[k] = static_cast<uint16_t>(model.vertices.size());
        triangle.vertexNormals[k] = {0, 0, 1};
        model.vertices.push_back(vertex);
    }
    triangle.groupIndex = group;
    model.triangles.push_back(triangle);
    return model.triangles.size() - 1;
}

size_t fileSize(const Model& model) {
    size_t size = kHeaderBytes;
    size += 2 + model.vertices.size() * kVertexBytes;
    size += 2 + model.triangles.size() * kTriangleBytes;
    size += 2;
    for (const Group& g : model.groups)
        size += 1 + kNameBytes + 2 + 2 * g.triangleIndices.size() + 1;
    size += 2 + model.materials.size() * kMaterialBytes;
    size += kAnimationBytes;
    size += 2;
    for (const Joint& j : model.joints) {
        size += kJointFixedBytes + kKeyBytes * (j.rotationKeys.size() + j.translationKeys.size());
    }
    return size;
}

bool validate(const Model& model, std::string* error) {
    if (model.vertices.size() > kMaxCount || model.triangles.size() > kMaxCount ||
        model.groups.size() > 255 || model.materials.size() > 128 || model.joints.size() > 128) {
        return fail(error, "too many vertices, triangles, groups, materials or joints");
    }
    for (size_t i = 0; i < model.vertices.size(); ++i) {
        const Vertex& v = model.vertices[i];
        if (!allFinite(v.position.data(), 3))
            return fail(error, "vertex " + std::to_string(i) + ": position not finite");
        if (v.boneId < -1 || v.boneId >= static_cast<int>(model.joints.size())) {
            return fail(error, "vertex " + std::to_string(i) + ": bone id names no joint");
        }
    }
    for (size_t i = 0; i < model.triangles.size(); ++i) {
        const Triangle& t = model.triangles[i];
        const std::string which = "triangle " + std::to_string(i);
        for (uint16_t index : t.vertexIndices) {
            if (index >= model.vertices.size())
                return fail(error, which + ": vertex index out of range");
        }
        if (t.groupIndex >= model.groups.size())
            return fail(error, which + ": group index out of range");
        const bool normalsFinite =
            std::all_of(t.vertexNormals.begin(), t.vertexNormals.end(),
                        [](const Vec3& n) { return allFinite(n.data(), 3); });
        if (!normalsFinite || !allFinite(t.s.data(), 3) || !allFinite(t.t.data(), 3)) {
            return fail(error, which + ": normal or texture coordinate not finite");
        }
    }
    for (size_t i = 0; i < model.groups.size(); ++i) {
        const Group& g = model.groups[i];
        const std::string which = "group " + std::to_string(i) + " (" + g.name + ")";
        if (!fits(g.name, kNameBytes)) return fail(error, which + ": name longer than 31 bytes");
        if (g.triangleIndices.size() > kMaxCount)
            return fail(error, which + ": too many triangles");
        for (uint16_t index : g.triangleIndices) {
            if (index >= model.triangles.size() || model.triangles[index].groupIndex != i) {
                return fail(error, which + ": lists a triangle of another group");
            }
        }
        if (g.materialIndex >= static_cast<int>(model.materials.size())) {
            return fail(error, which + ": material index out of range");
        }
    }
    for (size_t i = 0; i < model.materials.size(); ++i) {
        const Material& m = model.materials[i];
        const std::string which = "material " + std::to_string(i) + " (" + m.name + ")";
        if (!fits(m.name, kNameBytes) || !fits(m.texture, kFileNameBytes) ||
            !fits(m.alphamap, kFileNameBytes)) {
            return fail(error, which + ": name or file name too long");
        }
        if (!allFinite(m.ambient.data(), 4) || !allFinite(m.diffuse.data(), 4) ||
            !allFinite(m.specular.data(), 4) || !allFinite(m.emissive.data(), 4) ||
            !std::isfinite(m.shininess) || !(m.transparency >= 0 && m.transparency <= 1)) {
            return fail(error, which + ": colour, shininess or transparency out of range");
        }
    }
    if (!(model.animationFps > 0) || !std::isfinite(model.animationFps) || model.totalFrames < 0 ||
        !std::isfinite(model.currentTime)) {
        return fail(error, "animation speed must be positive and the frame count not negative");
    }
    return validateJoints(model, error);
}

std::vector<uint8_t> encode(const Model& model, int32_t version) {
    std::vector<uint8_t> bytes;
    bytes.reserve(fileSize(model));
    ByteWriter w(bytes);
    w.bytes(kId, sizeof kId);
    w.i32(version);
    w.count(model.vertices.size());
    for (const Vertex& v : model.vertices) writeVertex(w, v);
    w.count(model.triangles.size());
    for (const Triangle& t : model.triangles) writeTriangle(w, t);
    w.count(model.groups.size());
    for (const Group& g : model.groups) writeGroup(w, g);
    w.count(model.materials.size());
    for (const Material& m : model.materials) writeMaterial(w, m);
    w.f32(model.animationFps);
    w.f32(model.currentTime);
    w.i32(model.totalFrames);
    w.count(model.joints.size());
    for (const Joint& j : model.joints) writeJoint(w, j);
    return bytes;
}

bool serialize(const Model& model, std::vector<uint8_t>& out, std::string* error) {
    if (!validate(model, error)) return false;
    out = encode(model);
    return true;
}

}  // namespace ms3d
