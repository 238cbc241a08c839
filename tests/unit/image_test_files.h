// Test files for the picture decoders and texture creation: the real-world
// fixtures, truncated copies of them, and small BMPs written to order. A test that
// reads the fixtures starts with REQUIRE_FIXTURE_FILES().
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fixture_files.h"

namespace image_test {

namespace fs = std::filesystem;

inline fs::path fixture(const std::string& relative) {
    return fixture_files::file("images") / relative;
}

inline std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

inline void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The fixtures of one folder whose names start with `prefix`, sorted.
inline std::vector<fs::path> fixturesLike(const std::string& folder, const std::string& prefix) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(fixture(folder))) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// JPEGs that libjpeg-turbo 2.x refuses: 12-bit samples, and a height given by a
// DNL marker.
inline bool refusedJpeg(const fs::path& path) {
    const std::string name = path.filename().string();
    return name.find("x12_") != std::string::npos || name.find("_dnl") != std::string::npos;
}

inline std::vector<fs::path> goodFixtures() {
    std::vector<fs::path> paths;
    for (const auto& path : fixturesLike("jpeg", "")) {
        if (!refusedJpeg(path)) paths.push_back(path);
    }
    for (const auto& path : fixturesLike("png", "pngsuite__")) paths.push_back(path);
    for (const auto& path : fixturesLike("bmp", "g__")) paths.push_back(path);
    return paths;
}

inline std::vector<fs::path> corruptFixtures() {
    std::vector<fs::path> paths = fixturesLike("png", "libpng_");
    for (const auto& path : fixturesLike("bmp", "b__")) paths.push_back(path);
    return paths;
}

// Prefix lengths that cut a file in its header, its middle and its last byte.
inline std::vector<size_t> truncatedLengths(size_t size) {
    return {0, 1, 2, size / 8, size / 4, size / 2, size * 3 / 4, size - 2, size - 1};
}

// A temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "d3dx8_test_XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A BMP file as the fields say, consistent or not: the palette (B, G, R, 0
// entries, or B, G, R for a 12-byte header) and any masks after a 40-byte
// header come before the pixel data, which starts right after them or at
// `pixelOffset` if that is further; a smaller `pixelOffset` is only written to
// the header.
struct BmpFields {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> palette;  // 0xRRGGBB
    std::vector<uint32_t> masks;    // red, green, blue[, alpha]
    std::vector<uint8_t> pixels;
    uint32_t pixelOffset = 0;
};

inline void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline std::vector<uint8_t> makeBmp(const BmpFields& fields) {
    std::vector<uint8_t> out(14 + fields.headerSize, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 14, fields.headerSize);
    if (fields.headerSize == 12) {
        put16(out, 18, static_cast<uint32_t>(fields.width));
        put16(out, 20, static_cast<uint32_t>(fields.height));
        put16(out, 22, 1);
        put16(out, 24, fields.bitCount);
    } else {
        put32(out, 18, static_cast<uint32_t>(fields.width));
        put32(out, 22, static_cast<uint32_t>(fields.height));
        put16(out, 26, 1);
        put16(out, 28, fields.bitCount);
        put32(out, 30, fields.compression);
        put32(out, 34, static_cast<uint32_t>(fields.pixels.size()));
        put32(out, 46, fields.colorsUsed);
        for (size_t i = 0; i < fields.masks.size() && fields.headerSize >= 52; ++i) {
            put32(out, 54 + 4 * i, fields.masks[i]);
        }
    }
    if (fields.headerSize == 40) {
        for (uint32_t mask : fields.masks) {
            out.resize(out.size() + 4);
            put32(out, out.size() - 4, mask);
        }
    }
    for (uint32_t color : fields.palette) {
        out.push_back(static_cast<uint8_t>(color));
        out.push_back(static_cast<uint8_t>(color >> 8));
        out.push_back(static_cast<uint8_t>(color >> 16));
        if (fields.headerSize != 12) out.push_back(0);
    }
    const auto natural = static_cast<uint32_t>(out.size());
    put32(out, 10, fields.pixelOffset != 0 ? fields.pixelOffset : natural);
    out.resize(std::max(natural, fields.pixelOffset));
    out.insert(out.end(), fields.pixels.begin(), fields.pixels.end());
    put32(out, 2, static_cast<uint32_t>(out.size()));
    return out;
}

}  // namespace image_test
