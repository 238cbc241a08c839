// image_check DIR OUT: decodes every picture below DIR with the D3DX picture
// decoders, as texture loading does, and writes what it got: one line per file
// (its path below DIR, then its size and whether it has alpha, or "rejected")
// to stdout, and the pixels of each decoded picture to OUT/NAME.argb (top-down
// rows of 0xAARRGGBB, little-endian). Built for Linux and for Windows, so that
// compare_images.py can set the two builds' decoders side by side.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "d3dx8_image.h"

namespace fs = std::filesystem;

namespace {

bool readFile(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

// "jpeg/baseline.jpg" -> "jpeg_baseline.jpg.argb"
std::string pixelFileName(const std::string& relative) {
    std::string name = relative;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    return name + ".argb";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: image_check DIR OUT\n");
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path out = argv[2];
    std::error_code status;
    fs::create_directories(out, status);
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root, status)) {
        if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(root).generic_string());
    }
    if (files.empty()) {
        std::fprintf(stderr, "image_check: no files below %s\n", root.string().c_str());
        return 1;
    }
    std::sort(files.begin(), files.end());
    for (const std::string& relative : files) {
        std::vector<uint8_t> bytes;
        d3dx8::DecodedImage decoded;
        if (!readFile(root / relative, &bytes) || !d3dx8::decodeImage(bytes.data(), bytes.size(), decoded)) {
            std::printf("%s rejected\n", relative.c_str());
            continue;
        }
        const d3dx8::Image& image = decoded.image;
        std::printf("%s %ux%u %s\n", relative.c_str(), image.width, image.height, decoded.hasAlpha ? "alpha" : "opaque");
        std::ofstream pixels(out / pixelFileName(relative), std::ios::binary | std::ios::trunc);
        for (uint32_t argb : image.pixels) {
            const char word[4] = {static_cast<char>(argb), static_cast<char>(argb >> 8), static_cast<char>(argb >> 16),
                                  static_cast<char>(argb >> 24)};
            pixels.write(word, 4);
        }
    }
    return 0;
}
