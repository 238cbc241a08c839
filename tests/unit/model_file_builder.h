// Writes MS3D version 4 files byte by byte for the model tests, so they do not
// depend on any other writer. Every field can be set, including ones a good
// writer would never produce (indices past the arrays, names without a NUL).
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

class Ms3dBuilder {
public:
    struct Vertex {
        float x = 0, y = 0, z = 0;
        int8_t boneId = -1;
    };
    struct Triangle {
        uint16_t indices[3] = {0, 1, 2};
        float normals[3][3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
        float s[3] = {0, 0, 0};
        float t[3] = {0, 0, 0};
        uint8_t group = 0;
    };
    struct Group {
        std::string name = "group";
        std::vector<uint16_t> listed;  // the triangle list the file carries
        int8_t material = -1;
    };
    struct Material {
        std::string name = "material";
        float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
        float diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
        float specular[4] = {0, 0, 0, 1};
        float emissive[4] = {0, 0, 0, 1};
        float shininess = 0;
        float transparency = 1;
        int8_t mode = 0;
        std::string texture;  // written into 128 bytes; up to 128 leaves no NUL
    };
    struct Key {
        float seconds;
        float x, y, z;
    };
    struct Joint {
        std::string name;  // written into 32 bytes; 32 characters leave no NUL
        std::string parent;
        float rotation[3] = {0, 0, 0};
        float position[3] = {0, 0, 0};
        std::vector<Key> rotationKeys;
        std::vector<Key> translationKeys;
    };

    std::vector<Vertex> vertices;
    std::vector<Triangle> triangles;
    std::vector<Group> groups;
    std::vector<Material> materials;
    float fps = 30;
    float currentTime = 0;
    int32_t totalFrames = 0;
    std::vector<Joint> joints;
    std::string trailing;  // bytes after the joints
    int32_t version = 4;

    // One triangle of three fresh vertices, in group `group`; returns its index.
    size_t addTriangle(uint8_t group, float x0, float y0, float x1, float y1, float x2, float y2,
                       float z = 0, int8_t bone = -1) {
        const uint16_t first = static_cast<uint16_t>(vertices.size());
        vertices.push_back({x0, y0, z, bone});
        vertices.push_back({x1, y1, z, bone});
        vertices.push_back({x2, y2, z, bone});
        Triangle triangle;
        for (int k = 0; k < 3; ++k) triangle.indices[k] = static_cast<uint16_t>(first + k);
        triangle.group = group;
        triangles.push_back(triangle);
        return triangles.size() - 1;
    }

    std::string bytes() const {
        std::string out("MS3D000000", 10);
        i32(out, version);
        u16(out, static_cast<uint16_t>(vertices.size()));
        for (const Vertex& v : vertices) {
            out.push_back(0);
            f32(out, v.x), f32(out, v.y), f32(out, v.z);
            out.push_back(static_cast<char>(v.boneId));
            out.push_back(0);
        }
        u16(out, static_cast<uint16_t>(triangles.size()));
        for (const Triangle& t : triangles) {
            u16(out, 0);
            for (uint16_t index : t.indices) u16(out, index);
            for (const auto& normal : t.normals) {
                for (float c : normal) f32(out, c);
            }
            for (float c : t.s) f32(out, c);
            for (float c : t.t) f32(out, c);
            out.push_back(1);
            out.push_back(static_cast<char>(t.group));
        }
        u16(out, static_cast<uint16_t>(groups.size()));
        for (const Group& g : groups) {
            out.push_back(0);
            name(out, g.name, 32);
            u16(out, static_cast<uint16_t>(g.listed.size()));
            for (uint16_t index : g.listed) u16(out, index);
            out.push_back(static_cast<char>(g.material));
        }
        u16(out, static_cast<uint16_t>(materials.size()));
        for (const Material& m : materials) {
            name(out, m.name, 32);
            for (float c : m.ambient) f32(out, c);
            for (float c : m.diffuse) f32(out, c);
            for (float c : m.specular) f32(out, c);
            for (float c : m.emissive) f32(out, c);
            f32(out, m.shininess);
            f32(out, m.transparency);
            out.push_back(static_cast<char>(m.mode));
            name(out, m.texture, 128);
            name(out, "", 128);
        }
        f32(out, fps);
        f32(out, currentTime);
        i32(out, totalFrames);
        u16(out, static_cast<uint16_t>(joints.size()));
        for (const Joint& j : joints) {
            out.push_back(0);
            name(out, j.name, 32);
            name(out, j.parent, 32);
            for (float c : j.rotation) f32(out, c);
            for (float c : j.position) f32(out, c);
            u16(out, static_cast<uint16_t>(j.rotationKeys.size()));
            u16(out, static_cast<uint16_t>(j.translationKeys.size()));
            for (const Key& k : j.rotationKeys) key(out, k);
            for (const Key& k : j.translationKeys) key(out, k);
        }
        return out + trailing;
    }

    void save(const std::string& path) const {
        const std::string data = bytes();
        std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }

private:
    static void u16(std::string& out, uint16_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8));
    }
    static void i32(std::string& out, int32_t v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    static void f32(std::string& out, float v) {
        int32_t bits;
        std::memcpy(&bits, &v, 4);
        i32(out, bits);
    }
    static void name(std::string& out, const std::string& text, size_t width) {
        std::string field = text.substr(0, width);
        field.resize(width, '\0');
        out += field;
    }
    static void key(std::string& out, const Key& k) {
        f32(out, k.seconds);
        f32(out, k.x), f32(out, k.y), f32(out, k.z);
    }
};

}  // namespace testing_support
