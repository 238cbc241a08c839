// Decoded pictures behind D3DXCreateTextureFromFileExA, and the filters that fit
// them to a texture.
//
// Decoders (the format is told by the file's first bytes, never by its name):
// - JPEG through libjpeg-turbo: greyscale, YCbCr, RGB, CMYK and Adobe's inverted
//   CMYK, baseline, progressive and arithmetic-coded. A file the library refuses
//   (12-bit samples, DNL heights) or one that ends early is a failure.
// - PNG through libpng: every colour type and depth, interlaced or not, expanded
//   to 8-bit RGBA. A bad CRC, a bad checksum, a palette index past the palette or
//   a truncated stream is a failure.
// - BMP, our own reader: BITMAPCOREHEADER (OS/2 1.x), BITMAPINFOHEADER and its
//   V2-V5 successors, 1/4/8-bit palettes (uncompressed, RLE4, RLE8), 16 and 32-bit
//   bit fields, 24-bit; bottom-up and top-down. Every size, offset, run and palette
//   index is checked against the file; anything inconsistent is a failure.
//
// Every decoder refuses an image larger than the limits below before it
// allocates pixel memory, and never reads outside the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "d3dx8.h"

namespace d3dx8 {

// The largest file read whole into memory.
constexpr size_t kMaxFileBytes = size_t{64} << 20;
// The largest image side, and the most pixels of one image (64 MiB of A8R8G8B8).
constexpr uint32_t kMaxImageSide = 8192;
constexpr uint64_t kMaxImagePixels = uint64_t{16} << 20;

// Whether an image of this size may be decoded at all.
bool imageSizeAllowed(uint64_t width, uint64_t height);

// A picture in texture layout: top-down rows of D3DCOLOR values (0xAARRGGBB).
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;

    // Allocates width * height pixels of `fill`.
    void reset(uint32_t w, uint32_t h, uint32_t fill = 0);
    uint32_t at(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
    uint32_t* row(uint32_t y) { return pixels.data() + size_t{y} * width; }
    const uint32_t* row(uint32_t y) const { return pixels.data() + size_t{y} * width; }
};

// A decoded file: its pixels (opaque formats get alpha 0xFF) and what
// D3DXIMAGE_INFO reports about it.
struct DecodedImage {
    Image image;
    bool hasAlpha = false;                  // the file stores transparency
    D3DFORMAT fileFormat = D3DFMT_UNKNOWN;  // the file's own pixel format
    D3DXIMAGE_FILEFORMAT fileType = D3DXIFF_BMP;
};

// Decodes a JPEG, PNG or BMP file held in memory. Returns false (and leaves `out`
// unspecified) for anything else, anything corrupt or truncated, and images
// over the limits.
bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out);
bool decodeJpeg(const uint8_t* data, size_t size, DecodedImage& out);
bool decodePng(const uint8_t* data, size_t size, DecodedImage& out);
bool decodeBmp(const uint8_t* data, size_t size, DecodedImage& out);

// How one image is fitted to another size (the D3DX_FILTER_* kinds).
enum class Filter {
    None,      // no scaling: copied to the top-left, the rest transparent black
    Point,     // nearest source pixel
    Linear,    // bilinear: the nearest two source pixels on each axis
    Triangle,  // tent filter widened to cover every source pixel when shrinking
    Box,       // area average of the source pixels under the destination pixel
};

// Reads a D3DX_FILTER value: D3DX_DEFAULT gives `whenDefault`; the mirror and
// dither flags are accepted and ignored (edges are clamped; 8-bit channels
// need no dithering). Returns false for a value D3DX does not define.
bool filterFromD3DX(DWORD value, Filter whenDefault, Filter& filter);

// `src` fitted to width x height with `filter`. Every channel, alpha included,
// is filtered on its own (no premultiplication), as D3DX does.
Image resampleImage(const Image& src, uint32_t width, uint32_t height, Filter filter);

}  // namespace d3dx8
