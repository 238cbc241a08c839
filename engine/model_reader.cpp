// The MS3D version 4 reader: every section up to the end of the joints, into the
// arrays of sMS3DData. Records are packed little-endian; each is read whole into
// a byte block and its fields are taken from fixed offsets, so the layout in
// memory never depends on the compiler's padding or the host's byte order.
//
// Model files come from outside: every count is checked against what the file
// really holds, and a file that ends before its last joint record is rejected.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "model.h"

namespace {

constexpr char kMagic[10] = {'M', 'S', '3', 'D', '0', '0', '0', '0', '0', '0'};
constexpr int32_t kVersion = 4;

constexpr size_t kVertexBytes = 15;
constexpr size_t kTriangleBytes = 70;
constexpr size_t kGroupHeadBytes = 35;  // flags, name, numTriangles
constexpr size_t kMaterialBytes = 361;
constexpr size_t kAnimationBytes = 12;
constexpr size_t kJointHeadBytes = 93;  // up to and including both key counts
constexpr size_t kKeyframeBytes = 16;

uint16_t u16At(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t u32At(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t i32At(const uint8_t* p) {
    const uint32_t bits = u32At(p);
    int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float floatAt(const uint8_t* p) {
    const uint32_t bits = u32At(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int8_t i8At(const uint8_t* p) {
    int8_t value;
    std::memcpy(&value, p, 1);
    return value;
}

void floatsAt(const uint8_t* p, float* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = floatAt(p + 4 * i);
}

// Reads exactly `bytes` bytes, or reports that the file ended first.
class cRecordReader {
public:
    explicit cRecordReader(std::FILE* file) : m_file(file), m_remaining(bytesLeftIn(file)) {}

    bool read(uint8_t* out, size_t bytes) {
        const size_t got = std::fread(out, 1, bytes, m_file);
        m_remaining -= std::min(got, m_remaining);
        return got == bytes;
    }

    // Whether the rest of the file can hold `count` records of at least
    // `recordBytes` bytes each. Checked before a section's array is sized, so a
    // count the file cannot back (65535 materials in a file of a few bytes)
    // allocates nothing.
    bool holds(size_t count, size_t recordBytes) const { return count <= m_remaining / recordBytes; }

    bool readU16(uint16_t& value) {
        uint8_t bytes[2];
        if (!read(bytes, 2)) return false;
        value = u16At(bytes);
        return true;
    }

private:
    // The bytes from the stream's position to its end; unlimited when the
    // stream cannot tell (then only reading finds where it ends).
    static size_t bytesLeftIn(std::FILE* file) {
        const long here = std::ftell(file);
        if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return SIZE_MAX;
        const long end = std::ftell(file);
        if (std::fseek(file, here, SEEK_SET) != 0) return 0;  // cannot go back: nothing readable
        return end >= here ? static_cast<size_t>(end - here) : 0;
    }

    std::FILE* m_file;
    size_t m_remaining;
};

bool readVertices(cRecordReader& in, sMS3DData& data) {
    uint16_t count;
    if (!in.readU16(count) || !in.holds(count, kVertexBytes)) return false;
    // Zero-filled first, so no field is ever left undefined.
    data.vertices.assign(count, sMS3DVertex{});
    uint8_t record[kVertexBytes];
    for (sMS3DVertex& v : data.vertices) {
        if (!in.read(record, sizeof record)) return false;
        v.flags = record[0];
        v.x = floatAt(record + 1);
        v.y = floatAt(record + 5);
        v.z = floatAt(record + 9);
        v.boneId = i8At(record + 13);
        v.referenceCount = record[14];
    }
    return true;
}

bool readTriangles(cRecordReader& in, sMS3DData& data) {
    uint16_t count;
    if (!in.readU16(count) || !in.holds(count, kTriangleBytes)) return false;
    data.triangles.resize(count);
    uint8_t record[kTriangleBytes];
    for (sMS3DTriangle& t : data.triangles) {
        if (!in.read(record, sizeof record)) return false;
        t.flags = u16At(record);
        for (int k = 0; k < 3; ++k) t.vertexIndices[k] = u16At(record + 2 + 2 * k);
        for (int k = 0; k < 3; ++k) floatsAt(record + 8 + 12 * k, t.vertexNormals[k], 3);
        floatsAt(record + 44, t.s, 3);
        floatsAt(record + 56, t.t, 3);
        t.smoothingGroup = record[68];
        t.groupIndex = record[69];
    }
    return true;
}

bool readGroups(cRecordReader& in, sMS3DData& data) {
    uint16_t count;
    // A group is its head, its triangle list and a material byte.
    if (!in.readU16(count) || !in.holds(count, kGroupHeadBytes + 1)) return false;
    data.groups.resize(count);
    uint8_t head[kGroupHeadBytes];
    for (sMS3DGroup& g : data.groups) {
        if (!in.read(head, sizeof head)) return false;
        g.flags = head[0];
        std::memcpy(g.name, head + 1, sizeof g.name);
        g.numTriangles = u16At(head + 33);
        if (!in.holds(g.numTriangles, 2)) return false;
        g.triangleIndices.resize(g.numTriangles);
        for (uint16_t& index : g.triangleIndices) {
            if (!in.readU16(index)) return false;
        }
        uint8_t material;
        if (!in.read(&material, 1)) return false;
        g.materialIndex = i8At(&material);
    }
    return true;
}

bool readMaterials(cRecordReader& in, sMS3DData& data) {
    uint16_t count;
    if (!in.readU16(count) || !in.holds(count, kMaterialBytes)) return false;
    data.materials.resize(count);
    uint8_t record[kMaterialBytes];
    for (sMS3DMaterial& m : data.materials) {
        if (!in.read(record, sizeof record)) return false;
        std::memcpy(m.name, record, sizeof m.name);
        floatsAt(record + 32, m.ambient, 4);
        floatsAt(record + 48, m.diffuse, 4);
        floatsAt(record + 64, m.specular, 4);
        floatsAt(record + 80, m.emissive, 4);
        m.shininess = floatAt(record + 96);
        m.transparency = floatAt(record + 100);
        m.mode = i8At(record + 104);
        std::memcpy(m.texture, record + 105, sizeof m.texture);
        std::memcpy(m.alphamap, record + 233, sizeof m.alphamap);
    }
    return true;
}

bool readAnimation(cRecordReader& in, sMS3DData& data) {
    uint8_t record[kAnimationBytes];
    if (!in.read(record, sizeof record)) return false;
    data.animationFps = floatAt(record);
    data.currentTime = floatAt(record + 4);
    data.totalFrames = i32At(record + 8);
    return true;
}

bool readKeyframes(cRecordReader& in, std::vector<sMS3DKeyframe>& keys, uint16_t count) {
    if (!in.holds(count, kKeyframeBytes)) return false;
    keys.resize(count);
    uint8_t record[kKeyframeBytes];
    for (sMS3DKeyframe& key : keys) {
        if (!in.read(record, sizeof record)) return false;
        key.time = floatAt(record);
        floatsAt(record + 4, key.parameter, 3);
    }
    return true;
}

bool readJoints(cRecordReader& in, sMS3DData& data) {
    uint16_t count;
    if (!in.readU16(count) || !in.holds(count, kJointHeadBytes)) return false;
    data.joints.resize(count);
    uint8_t head[kJointHeadBytes];
    for (sMS3DJoint& j : data.joints) {
        if (!in.read(head, sizeof head)) return false;
        j.flags = head[0];
        std::memcpy(j.name, head + 1, sizeof j.name);
        std::memcpy(j.parentName, head + 33, sizeof j.parentName);
        floatsAt(head + 65, j.rotation, 3);
        floatsAt(head + 77, j.position, 3);
        j.numRotationKeys = u16At(head + 89);
        j.numTranslationKeys = u16At(head + 91);
        if (!readKeyframes(in, j.rotationKeys, j.numRotationKeys)) return false;
        if (!readKeyframes(in, j.translationKeys, j.numTranslationKeys)) return false;
    }
    return true;
}

}  // namespace

std::string ms3dName(const char* field, size_t width) {
    const void* end = std::memchr(field, '\0', width);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - field) : width;
    return std::string(field, length);
}

bool readMS3DHeader(std::FILE* file) {
    uint8_t header[14];
    if (std::fread(header, 1, sizeof header, file) != sizeof header) return false;
    return std::memcmp(header, kMagic, sizeof kMagic) == 0 && i32At(header + 10) == kVersion;
}

bool readMS3DSections(std::FILE* file, sMS3DData& data) {
    cRecordReader in(file);
    return readVertices(in, data) && readTriangles(in, data) && readGroups(in, data) &&
           readMaterials(in, data) && readAnimation(in, data) && readJoints(in, data);
}

uint32_t ms3dAnimationLength(int32_t totalFrames, float animationFps) {
    // Single precision, as the length has always been computed: 100 frames at
    // 30 fps is 3333 ms.
    const float length = static_cast<float>(totalFrames) / animationFps * 1000.0f;
    // A zero rate gives an infinite or undefined length, a negative count or rate
    // a negative one: no animation to play.
    if (!std::isfinite(length) || length < 0.0f) return 0;
    if (length >= 4294967295.0f) return UINT32_MAX;
    return static_cast<uint32_t>(length);
}

int32_t truncateToInt32(float value) {
    if (!(value > -2147483904.0f && value < 2147483648.0f)) return INT32_MIN;
    return static_cast<int32_t>(value);
}
