// Picks the decoder by the file's signature.
#include <cstring>

#include "d3dx8_image.h"

namespace d3dx8 {

bool imageSizeAllowed(uint64_t width, uint64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

void Image::reset(uint32_t w, uint32_t h, uint32_t fill) {
    width = w;
    height = h;
    pixels.assign(size_t{w} * h, fill);
}

namespace {

bool startsWith(const uint8_t* data, size_t size, const char* magic, size_t magicSize) {
    return size >= magicSize && std::memcmp(data, magic, magicSize) == 0;
}

}  // namespace

bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out) {
    if (data == nullptr) return false;
    // JPEG: a start-of-image marker followed by the start of another marker.
    if (startsWith(data, size, "\xFF\xD8\xFF", 3)) return decodeJpeg(data, size, out);
    if (startsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return decodePng(data, size, out);
    if (startsWith(data, size, "BM", 2)) return decodeBmp(data, size, out);
    return false;
}

}  // namespace d3dx8
