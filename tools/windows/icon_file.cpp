#include "icon_file.h"

#include "program_icon.h"

namespace windows_icon {
namespace {

constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kDirectoryBytes = 6;
constexpr uint32_t kEntryBytes = 16;
constexpr int kSide = program_icon::kSide;

void put16(std::vector<uint8_t>* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>* out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Each mask row is padded to 32 bits.
constexpr uint32_t kMaskRowBytes = (kSide + 31) / 32 * 4;
constexpr uint32_t kImageBytes = kBitmapHeaderBytes + kSide * kSide * 4 + kMaskRowBytes * kSide;

// A BITMAPINFOHEADER of twice the height (colour, then mask), the colour rows
// bottom-up in B, G, R, A order, then the mask: 1 where the pixel is transparent.
void putImage(std::vector<uint8_t>* out, const uint32_t* pixels) {
    put32(out, kBitmapHeaderBytes);
    put32(out, kSide);
    put32(out, kSide * 2);
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    for (int i = 0; i < 6; ++i) put32(out, 0);  // no compression, sizes and colours implied
    auto pixel = [pixels](int x, int y) { return pixels[y * kSide + x]; };
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) put32(out, pixel(x, y));  // ARGB, little-endian
    }
    for (int y = kSide - 1; y >= 0; --y) {
        std::vector<uint8_t> row(kMaskRowBytes, 0);
        for (int x = 0; x < kSide; ++x) {
            if ((pixel(x, y) >> 24) == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out->insert(out->end(), row.begin(), row.end());
    }
}

}  // namespace

std::vector<uint8_t> programIconFile() {
    constexpr int count = program_icon::kImageCount;
    std::vector<uint8_t> out;
    put16(&out, 0);  // reserved
    put16(&out, 1);  // an icon, not a cursor
    put16(&out, count);
    uint32_t offset = kDirectoryBytes + kEntryBytes * count;
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<uint8_t>(kSide));
        out.push_back(static_cast<uint8_t>(kSide));
        out.push_back(0);  // not a palette image
        out.push_back(0);
        put16(&out, 1);
        put16(&out, 32);
        put32(&out, kImageBytes);
        put32(&out, offset);
        offset += kImageBytes;
    }
    for (int i = 0; i < count; ++i) putImage(&out, program_icon::image(i));
    return out;
}

}  // namespace windows_icon
