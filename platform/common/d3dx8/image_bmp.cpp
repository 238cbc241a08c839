// Windows and OS/2 bitmap files.
//
// Layout: a 14-byte file header ("BM", file size, two reserved words, offset of
// the pixel data), then an info header whose first DWORD is its own size:
//   12        BITMAPCOREHEADER (OS/2 1.x): WORD width/height, 3-byte palette entries
//   40        BITMAPINFOHEADER; BI_BITFIELDS masks follow it
//   52, 56    the same with the RGB (and alpha) masks inside the header
//   64        OS/2 2.x: BITMAPINFOHEADER fields followed by OS/2-only ones
//   108, 124  BITMAPV4HEADER, BITMAPV5HEADER (masks inside, colour space ignored)
// then the palette (bit counts up to 8), then rows padded to 4 bytes, stored
// bottom-up unless the height is negative.
//
// Every read is checked against the file size; an index past the palette, an RLE
// run past its row and a stream that ends before its end-of-bitmap code all fail.
#include <cstring>

#include "d3dx8_image.h"

namespace d3dx8 {
namespace {

constexpr uint32_t kFileHeaderSize = 14;

// Compression values of the info header.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t readU32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
int32_t readS32(const uint8_t* p) {
    const uint32_t u = readU32(p);
    int32_t s;
    std::memcpy(&s, &u, sizeof s);
    return s;
}

uint32_t opaque(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

// One channel of a bit-field pixel: where it sits and how wide it is.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t max = 0;  // the largest value the field holds (0: channel absent)

    // Accepts an empty mask or one contiguous run of bits.
    bool set(uint32_t m) {
        mask = m;
        if (m == 0) return true;
        while (((m >> shift) & 1u) == 0) ++shift;
        const uint32_t field = m >> shift;
        if ((field & (field + 1)) != 0) return false;  // holes in the run
        max = field;
        return true;
    }
    // The field scaled to 0..255 (`absent` when the mask is empty).
    uint32_t extract(uint32_t pixel, uint32_t absent) const {
        if (max == 0) return absent;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint32_t>((value * 255 + max / 2) / max);
    }
};

struct BmpInfo {
    uint32_t pixelOffset = 0;
    uint32_t headerSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    bool masksGiven = false;
    size_t paletteOffset = 0;  // where the palette (or the masks after a 40-byte header) start
    uint32_t paletteEntrySize = 4;
};

bool knownHeaderSize(uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
}

bool readCoreHeader(const uint8_t* h, BmpInfo& info) {
    info.width = readU16(h + 4);
    info.height = readU16(h + 6);
    if (readU16(h + 8) != 1) return false;  // planes
    info.bitCount = readU16(h + 10);
    info.paletteEntrySize = 3;
    return info.bitCount == 1 || info.bitCount == 4 || info.bitCount == 8 || info.bitCount == 24;
}

bool readInfoHeader(const uint8_t* h, BmpInfo& info) {
    const int64_t width = readS32(h + 4);
    const int64_t height = readS32(h + 8);
    if (width <= 0 || height == 0 || readU16(h + 12) != 1) return false;
    info.width = static_cast<uint32_t>(width);
    info.topDown = height < 0;
    info.height = static_cast<uint32_t>(height < 0 ? -height : height);
    info.bitCount = readU16(h + 14);
    info.compression = readU32(h + 16);
    info.colorsUsed = readU32(h + 32);
    if (info.headerSize >= 52 && info.headerSize != 64) {
        for (int i = 0; i < 3; ++i) info.masks[i] = readU32(h + 40 + 4 * i);
        if (info.headerSize >= 56) info.masks[3] = readU32(h + 52);
        info.masksGiven = true;
    }
    switch (info.compression) {
        case kBiRgb:
            return info.bitCount == 1 || info.bitCount == 4 || info.bitCount == 8 ||
                   info.bitCount == 16 || info.bitCount == 24 || info.bitCount == 32;
        case kBiRle8:
            return info.bitCount == 8 && !info.topDown;
        case kBiRle4:
            return info.bitCount == 4 && !info.topDown;
        case kBiBitfields:
        case kBiAlphaBitfields:
            // OS/2 2.x gives these values other meanings (Huffman, RLE24).
            return (info.bitCount == 16 || info.bitCount == 32) && info.headerSize != 64;
        default:
            return false;  // embedded JPEG/PNG and anything unknown
    }
}

bool readHeaders(const uint8_t* data, size_t size, BmpInfo& info) {
    if (size < kFileHeaderSize + 4) return false;
    info.pixelOffset = readU32(data + 10);
    info.headerSize = readU32(data + kFileHeaderSize);
    if (!knownHeaderSize(info.headerSize) || size < kFileHeaderSize + info.headerSize) return false;
    const uint8_t* header = data + kFileHeaderSize;
    const bool ok =
        info.headerSize == 12 ? readCoreHeader(header, info) : readInfoHeader(header, info);
    if (!ok || !imageSizeAllowed(info.width, info.height)) return false;
    info.paletteOffset = kFileHeaderSize + info.headerSize;
    if (info.pixelOffset < info.paletteOffset || info.pixelOffset >= size) return false;
    return true;
}

// The bit fields of a 16 or 32-bit image: from the file when it gives them,
// otherwise the BI_RGB layouts (5-5-5 and 8-8-8 with the top byte unused).
bool readMasks(const uint8_t* data, size_t size, BmpInfo& info, Channel channels[4]) {
    const bool bitfields =
        info.compression == kBiBitfields || info.compression == kBiAlphaBitfields;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (bitfields && !info.masksGiven) {
        // A 40-byte header is followed by three masks (four with ALPHABITFIELDS).
        const uint32_t count = info.compression == kBiAlphaBitfields ? 4 : 3;
        if (size - info.paletteOffset < 4u * count) return false;
        for (uint32_t i = 0; i < count; ++i) masks[i] = readU32(data + info.paletteOffset + 4 * i);
    } else if (bitfields) {
        std::memcpy(masks, info.masks, sizeof masks);
    } else if (info.bitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
    }
    const uint32_t fits = info.bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) {
        if ((masks[i] & ~fits) != 0 || !channels[i].set(masks[i])) return false;
    }
    return channels[0].max != 0 || channels[1].max != 0 || channels[2].max != 0;
}

// The palette as opaque D3DCOLORs. BITMAPINFOHEADER files say how many entries
// they use; core files, and those that say 0, have 2^bits unless the pixel data
// starts sooner (writers shorten the palette and leave the count at 0).
bool readPalette(const uint8_t* data, size_t size, const BmpInfo& info,
                 std::vector<uint32_t>& palette) {
    const uint32_t full = 1u << info.bitCount;
    uint64_t count = info.colorsUsed == 0 ? full : info.colorsUsed;
    if (count > full) return false;
    if (info.colorsUsed == 0) {
        const uint64_t room = (info.pixelOffset - info.paletteOffset) / info.paletteEntrySize;
        if (room < count) count = room;
    }
    if (count == 0 || info.paletteOffset + count * info.paletteEntrySize > size) return false;
    palette.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* entry = data + info.paletteOffset + i * info.paletteEntrySize;
        palette[i] = opaque(entry[2], entry[1], entry[0]);  // stored blue, green, red
    }
    return true;
}

uint32_t rowStride(const BmpInfo& info) {
    return static_cast<uint32_t>((uint64_t{info.width} * info.bitCount + 31) / 32 * 4);
}

uint32_t destinationRow(const BmpInfo& info, uint32_t fileRow) {
    return info.topDown ? fileRow : info.height - 1 - fileRow;
}

bool decodeIndexedRows(const uint8_t* pixels, const BmpInfo& info,
                       const std::vector<uint32_t>& palette, Image& image) {
    const uint32_t stride = rowStride(info);
    const uint32_t bits = info.bitCount;
    const uint32_t perByte = 8 / bits;
    const uint32_t valueMask = (1u << bits) - 1;
    for (uint32_t r = 0; r < info.height; ++r) {
        const uint8_t* src = pixels + size_t{r} * stride;
        uint32_t* dst = image.row(destinationRow(info, r));
        for (uint32_t x = 0; x < info.width; ++x) {
            // The leftmost pixel sits in the most significant bits of its byte.
            const uint32_t shift = (perByte - 1 - x % perByte) * bits;
            const uint32_t index = (src[x / perByte] >> shift) & valueMask;
            if (index >= palette.size()) return false;
            dst[x] = palette[index];
        }
    }
    return true;
}

void decodeRgb24Rows(const uint8_t* pixels, const BmpInfo& info, Image& image) {
    const uint32_t stride = rowStride(info);
    for (uint32_t r = 0; r < info.height; ++r) {
        const uint8_t* src = pixels + size_t{r} * stride;
        uint32_t* dst = image.row(destinationRow(info, r));
        for (uint32_t x = 0; x < info.width; ++x, src += 3) dst[x] = opaque(src[2], src[1], src[0]);
    }
}

void decodeBitfieldRows(const uint8_t* pixels, const BmpInfo& info, const Channel channels[4],
                        Image& image) {
    const uint32_t stride = rowStride(info);
    const uint32_t bytes = info.bitCount / 8;
    for (uint32_t r = 0; r < info.height; ++r) {
        const uint8_t* src = pixels + size_t{r} * stride;
        uint32_t* dst = image.row(destinationRow(info, r));
        for (uint32_t x = 0; x < info.width; ++x, src += bytes) {
            const uint32_t value = bytes == 2 ? readU16(src) : readU32(src);
            dst[x] = (channels[3].extract(value, 0xFF) << 24) |
                     (channels[0].extract(value, 0) << 16) | (channels[1].extract(value, 0) << 8) |
                     channels[2].extract(value, 0);
        }
    }
}

// Expands an RLE4/RLE8 stream into one palette index per pixel (bottom-up rows).
// Pixels the stream skips with a delta or an early end keep index 0.
class RleDecoder {
public:
    RleDecoder(const uint8_t* data, size_t size, const BmpInfo& info, std::vector<uint8_t>& indices)
        : data_(data),
          size_(size),
          width_(info.width),
          height_(info.height),
          nibbles_(info.compression == kBiRle4),
          indices_(indices) {}

    bool run() {
        for (;;) {
            uint8_t count, value;
            if (!next(count) || !next(value)) return false;  // ended without end-of-bitmap
            if (count > 0) {
                if (!writeRun(count, value)) return false;
                continue;
            }
            switch (value) {
                case 0:  // end of line
                    x_ = 0;
                    if (++y_ > height_) return false;
                    break;
                case 1:  // end of bitmap
                    return true;
                case 2:  // delta: move right and up
                    if (!delta()) return false;
                    break;
                default:  // `value` literal pixels, padded to a 16-bit boundary
                    if (!writeLiteral(value)) return false;
                    break;
            }
        }
    }

private:
    bool next(uint8_t& byte) {
        if (pos_ >= size_) return false;
        byte = data_[pos_++];
        return true;
    }
    bool room(uint32_t count) const { return y_ < height_ && count <= width_ - x_; }
    void put(uint8_t index) { indices_[size_t{y_} * width_ + x_++] = index; }

    // RLE4 runs alternate the two nibbles of `value`; RLE8 repeats it.
    bool writeRun(uint32_t count, uint8_t value) {
        if (!room(count)) return false;
        for (uint32_t i = 0; i < count; ++i) {
            put(nibbles_ ? static_cast<uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
        }
        return true;
    }
    bool writeLiteral(uint32_t count) {
        if (!room(count)) return false;
        const uint32_t bytes = nibbles_ ? (count + 1) / 2 : count;
        if (size_ - pos_ < bytes + bytes % 2) return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t byte = data_[pos_ + (nibbles_ ? i / 2 : i)];
            put(nibbles_ ? static_cast<uint8_t>(i % 2 == 0 ? byte >> 4 : byte & 0x0F) : byte);
        }
        pos_ += bytes + bytes % 2;
        return true;
    }
    bool delta() {
        uint8_t dx, dy;
        if (!next(dx) || !next(dy)) return false;
        if (dx > width_ - x_ || dy > height_ - y_) return false;
        x_ += dx;
        y_ += dy;
        return true;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t width_, height_;
    bool nibbles_;
    std::vector<uint8_t>& indices_;
    uint32_t x_ = 0, y_ = 0;
};

bool decodeRle(const uint8_t* data, size_t size, const BmpInfo& info,
               const std::vector<uint32_t>& palette, Image& image) {
    std::vector<uint8_t> indices(size_t{info.width} * info.height, 0);
    RleDecoder decoder(data + info.pixelOffset, size - info.pixelOffset, info, indices);
    if (!decoder.run()) return false;
    for (uint32_t r = 0; r < info.height; ++r) {
        const uint8_t* src = indices.data() + size_t{r} * info.width;
        uint32_t* dst = image.row(destinationRow(info, r));
        for (uint32_t x = 0; x < info.width; ++x) {
            if (src[x] >= palette.size()) return false;
            dst[x] = palette[src[x]];
        }
    }
    return true;
}

D3DFORMAT bitfieldFormat(uint32_t bitCount, const Channel channels[4]) {
    const bool alpha = channels[3].max != 0;
    if (bitCount == 32) return alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (alpha) return D3DFMT_A1R5G5B5;
    return channels[1].mask == 0x07E0 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
}

}  // namespace

bool decodeBmp(const uint8_t* data, size_t size, DecodedImage& out) {
    BmpInfo info;
    if (data == nullptr || !readHeaders(data, size, info)) return false;

    const bool indexed = info.bitCount <= 8;
    const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;
    std::vector<uint32_t> palette;
    Channel channels[4];
    if (indexed ? !readPalette(data, size, info, palette)
                : info.bitCount != 24 && !readMasks(data, size, info, channels)) {
        return false;
    }
    // Uncompressed rows must all be in the file, padding included.
    if (!rle && uint64_t{rowStride(info)} * info.height > size - info.pixelOffset) return false;

    out.image.reset(info.width, info.height);
    out.fileType = D3DXIFF_BMP;
    out.hasAlpha = false;
    const uint8_t* pixels = data + info.pixelOffset;
    if (rle) {
        // Palette images report the A8R8G8B8 they expand to (no paletted format here).
        out.fileFormat = D3DFMT_X8R8G8B8;
        return decodeRle(data, size, info, palette, out.image);
    }
    if (indexed) {
        out.fileFormat = D3DFMT_X8R8G8B8;
        return decodeIndexedRows(pixels, info, palette, out.image);
    }
    if (info.bitCount == 24) {
        out.fileFormat = D3DFMT_R8G8B8;
        decodeRgb24Rows(pixels, info, out.image);
        return true;
    }
    out.hasAlpha = channels[3].max != 0;
    out.fileFormat = bitfieldFormat(info.bitCount, channels);
    decodeBitfieldRows(pixels, info, channels, out.image);
    return true;
}

}  // namespace d3dx8
