#include "icon_file.h"

#include "win32_sdl.h"
#include "windows.h"

namespace windows_icon {
namespace {

constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kDirectoryBytes = 6;
constexpr uint32_t kEntryBytes = 16;

void put16(std::vector<uint8_t>* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>* out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Each mask row is padded to 32 bits.
uint32_t maskRowBytes(int width) { return static_cast<uint32_t>((width + 31) / 32 * 4); }

uint32_t imageBytes(const SDL_Surface* image) {
    const auto pixels = static_cast<uint32_t>(image->w * image->h * 4);
    return kBitmapHeaderBytes + pixels + maskRowBytes(image->w) * static_cast<uint32_t>(image->h);
}

// A BITMAPINFOHEADER of twice the height (colour, then mask), the colour rows
// bottom-up in B, G, R, A order, then the mask: 1 where the pixel is transparent.
void putImage(std::vector<uint8_t>* out, const SDL_Surface* image) {
    put32(out, kBitmapHeaderBytes);
    put32(out, static_cast<uint32_t>(image->w));
    put32(out, static_cast<uint32_t>(image->h * 2));
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    for (int i = 0; i < 6; ++i) put32(out, 0);  // no compression, sizes and colours implied
    auto pixel = [image](int x, int y) {
        return static_cast<const uint32_t*>(image->pixels)[y * image->pitch / 4 + x];
    };
    for (int y = image->h - 1; y >= 0; --y) {
        for (int x = 0; x < image->w; ++x) put32(out, pixel(x, y));  // ARGB, little-endian
    }
    for (int y = image->h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskRowBytes(image->w), 0);
        for (int x = 0; x < image->w; ++x) {
            if ((pixel(x, y) >> 24) == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out->insert(out->end(), row.begin(), row.end());
    }
}

}  // namespace

std::vector<uint8_t> programIconFile() {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(5));
    const int count = win32::iconImageCount(icon);
    std::vector<uint8_t> out;
    put16(&out, 0);  // reserved
    put16(&out, 1);  // an icon, not a cursor
    put16(&out, static_cast<uint32_t>(count));
    uint32_t offset = kDirectoryBytes + kEntryBytes * static_cast<uint32_t>(count);
    for (int i = 0; i < count; ++i) {
        const SDL_Surface* image = win32::iconImage(icon, i);
        out.push_back(static_cast<uint8_t>(image->w));
        out.push_back(static_cast<uint8_t>(image->h));
        out.push_back(0);  // not a palette image
        out.push_back(0);
        put16(&out, 1);
        put16(&out, 32);
        put32(&out, imageBytes(image));
        put32(&out, offset);
        offset += imageBytes(image);
    }
    for (int i = 0; i < count; ++i) putImage(&out, win32::iconImage(icon, i));
    return out;
}

}  // namespace windows_icon
