// PNG files through libpng.
//
// libpng reports errors by calling our error function, which must not return:
// it longjmps back to the decode call (silently; the default handler prints).
// Warnings are dropped, and "benign" errors (a malformed ancillary chunk, extra
// image data) are made real errors, so a damaged file is refused rather than
// shown with guessed pixels. The read structures and
// buffers live in a PngDecoder owned by the caller of the function that calls
// setjmp, so a jump skips no destructor and leaks nothing.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "d3dx8_image.h"

namespace d3dx8 {
namespace {

// The largest ancillary chunk libpng may allocate (an ICC profile, text): the
// picture never needs them, and a hostile length must not become an allocation.
constexpr png_alloc_size_t kMaxChunkBytes = 1u << 20;

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void readBytes(png_structp png, png_bytep dst, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->pos) png_error(png, "unexpected end of file");
    std::memcpy(dst, reader->data + reader->pos, count);
    reader->pos += count;
}

[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

struct PngDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    MemoryReader reader{};
    std::vector<png_byte> samples;  // the whole picture: RGBA bytes, or palette indices
    std::vector<png_bytep> rows;    // row pointers into `samples`
    std::vector<uint32_t> palette;  // D3DCOLORs of a palette image, tRNS alpha applied

    ~PngDecoder() {
        if (png != nullptr)
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
    PngDecoder() = default;
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;
};

// Palette images are read as one index a byte and looked up here, so an index
// past the palette is caught (libpng 1.6 lets the last one through and reads
// such entries as black).
bool readPalette(PngDecoder& dec) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(dec.png, dec.info, &entries, &count) == 0 || count <= 0) return false;
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    png_get_tRNS(dec.png, dec.info, &alpha, &alphaCount, nullptr);
    dec.palette.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const uint32_t a = i < alphaCount && alpha != nullptr ? alpha[i] : 0xFF;
        dec.palette[i] = (a << 24) | (uint32_t{entries[i].red} << 16) |
                         (uint32_t{entries[i].green} << 8) | entries[i].blue;
    }
    png_set_packing(dec.png);  // 1, 2 and 4-bit indices to one byte each
    return true;
}

// Every other colour type and depth to 8-bit R, G, B, A; opaque images get alpha 255.
void requestRgba8(png_structp png, int colorType) {
    png_set_expand(png);  // grey below 8 bits to 8, tRNS to alpha
    png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // no effect when alpha is present
}

bool convertIndices(const PngDecoder& dec, Image& image) {
    const png_byte* src = dec.samples.data();
    for (uint32_t& pixel : image.pixels) {
        if (*src >= dec.palette.size()) return false;
        pixel = dec.palette[*src++];
    }
    return true;
}

void convertRgba(const PngDecoder& dec, Image& image) {
    const png_byte* src = dec.samples.data();
    for (uint32_t& pixel : image.pixels) {
        pixel =
            (uint32_t{src[3]} << 24) | (uint32_t{src[0]} << 16) | (uint32_t{src[1]} << 8) | src[2];
        src += 4;
    }
}

D3DFORMAT fileFormatOf(int colorType, bool hasAlpha) {
    if (hasAlpha) return D3DFMT_A8R8G8B8;
    if (colorType == PNG_COLOR_TYPE_GRAY) return D3DFMT_L8;
    if (colorType == PNG_COLOR_TYPE_RGB) return D3DFMT_R8G8B8;
    return D3DFMT_X8R8G8B8;  // palette, expanded
}

// Holds no object with a destructor: a longjmp lands back in this frame.
bool runDecode(PngDecoder& dec, const uint8_t* data, size_t size, DecodedImage& out) {
    dec.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (dec.png == nullptr) return false;
    dec.info = png_create_info_struct(dec.png);
    if (dec.info == nullptr) return false;
    if (setjmp(png_jmpbuf(dec.png)) != 0) return false;

    png_set_benign_errors(dec.png, 0);
    png_set_user_limits(dec.png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(dec.png, kMaxChunkBytes);
    dec.reader = MemoryReader{data, size, 0};
    png_set_read_fn(dec.png, &dec.reader, readBytes);

    png_read_info(dec.png, dec.info);
    const png_uint_32 width = png_get_image_width(dec.png, dec.info);
    const png_uint_32 height = png_get_image_height(dec.png, dec.info);
    if (!imageSizeAllowed(width, height)) return false;
    const int colorType = png_get_color_type(dec.png, dec.info);
    const bool paletted = colorType == PNG_COLOR_TYPE_PALETTE;
    const bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 ||
                          png_get_valid(dec.png, dec.info, PNG_INFO_tRNS) != 0;
    if (paletted) {
        if (!readPalette(dec)) return false;
    } else {
        requestRgba8(dec.png, colorType);
    }
    png_set_interlace_handling(dec.png);
    png_read_update_info(dec.png, dec.info);

    const size_t bytesPerPixel = paletted ? 1 : 4;
    const size_t rowBytes = size_t{width} * bytesPerPixel;
    if (png_get_rowbytes(dec.png, dec.info) != rowBytes) return false;
    dec.samples.resize(rowBytes * height);
    dec.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) dec.rows[y] = dec.samples.data() + rowBytes * y;
    png_read_image(dec.png, dec.rows.data());
    // Reads the chunks after the picture up to IEND, checking their CRCs.
    png_read_end(dec.png, nullptr);

    out.image.reset(width, height);
    if (paletted) {
        if (!convertIndices(dec, out.image)) return false;
    } else {
        convertRgba(dec, out.image);
    }
    out.fileType = D3DXIFF_PNG;
    out.hasAlpha = hasAlpha;
    out.fileFormat = fileFormatOf(colorType, hasAlpha);
    return true;
}

}  // namespace

bool decodePng(const uint8_t* data, size_t size, DecodedImage& out) {
    if (data == nullptr) return false;
    PngDecoder decoder;
    return runDecode(decoder, data, size, out);
}

}  // namespace d3dx8
