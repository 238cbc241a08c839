// MS3D files for the model tests, written with the shared MS3D writer as they
// stand (ms3d::encode): indices past their arrays, names that fill their fields
// and group lists that disagree with the triangles are written, not refused. A
// test also chooses the version in the header and the bytes after the joints.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ms3d_writer.h"

namespace testing_support {

struct Ms3dBuilder : ms3d::Model {
    int32_t version = ms3d::kVersion;
    std::string trailing;  // bytes after the joints

    // One triangle of three fresh vertices at height z, in group `group`;
    // returns its index.
    size_t addTriangle(uint8_t group, float x0, float y0, float x1, float y1, float x2, float y2,
                       float z = 0, int8_t bone = -1) {
        return ms3d::addTriangle(*this, group, {{{x0, y0, z}, {x1, y1, z}, {x2, y2, z}}}, bone);
    }

    std::string bytes() const {
        const std::vector<uint8_t> file = ms3d::encode(*this, version);
        return std::string(file.begin(), file.end()) + trailing;
    }

    void save(const std::string& path) const {
        const std::string data = bytes();
        std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }
};

// A group whose file entry lists `listed` (whatever the triangles say).
inline ms3d::Group group(std::string name, std::vector<uint16_t> listed = {}, int8_t material = -1) {
    ms3d::Group g;
    g.name = std::move(name);
    g.triangleIndices = std::move(listed);
    g.materialIndex = material;
    return g;
}

// The writer's plain grey material, named.
inline ms3d::Material material(std::string name = "material") {
    ms3d::Material m;
    m.name = std::move(name);
    return m;
}

}  // namespace testing_support
