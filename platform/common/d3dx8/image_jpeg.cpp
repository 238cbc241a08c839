// JPEG files through libjpeg-turbo.
//
// libjpeg reports a fatal error by calling error_exit, which must not return; the
// default one prints and exits the process. Ours longjmps back to the decode
// call instead, and keeps warnings quiet. Everything that must be freed after
// such a jump (the decompressor and the row buffer) lives in a JpegDecoder owned
// by the caller of the function that calls setjmp, so that function holds no
// object whose destructor a jump could skip.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jerror.h>
#include <jpeglib.h>

#include "d3dx8_image.h"

namespace d3dx8 {
namespace {

// A file with this many scans is hostile: each progressive scan makes the
// library walk the whole coefficient buffer again.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr base;  // first, so the library's pointer to it is a pointer to us
    std::jmp_buf jump;
};

[[noreturn]] void failDecode(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are silent, except that running out of data is fatal: the library
// would otherwise pad the picture with grey and call the file good.
void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) failDecode(cinfo);
}

void onOutput(j_common_ptr) {}

void onProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        failDecode(cinfo);
    }
}

struct JpegDecoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    bool created = false;
    std::vector<JSAMPLE> row;

    JpegDecoder() {
        jpeg_std_error(&errors.base);
        errors.base.error_exit = failDecode;
        errors.base.emit_message = onMessage;
        errors.base.output_message = onOutput;
        progress.progress_monitor = onProgress;
    }
    ~JpegDecoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
};

uint32_t opaque(uint32_t r, uint32_t g, uint32_t b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// One channel of CMYK ink coverage as a light value. Adobe's files (an APP14
// marker) store the inks inverted, 255 meaning no ink.
uint32_t inkToLight(uint32_t ink, uint32_t black, bool inverted) {
    if (!inverted) {
        ink = 255 - ink;
        black = 255 - black;
    }
    return (ink * black + 127) / 255;
}

void convertRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* src, uint32_t* dst) {
    const uint32_t width = cinfo.output_width;
    switch (cinfo.out_color_space) {
        case JCS_GRAYSCALE:
            for (uint32_t x = 0; x < width; ++x) dst[x] = opaque(src[x], src[x], src[x]);
            break;
        case JCS_CMYK: {
            const bool inverted = cinfo.saw_Adobe_marker;
            for (uint32_t x = 0; x < width; ++x, src += 4) {
                dst[x] = opaque(inkToLight(src[0], src[3], inverted),
                                inkToLight(src[1], src[3], inverted),
                                inkToLight(src[2], src[3], inverted));
            }
            break;
        }
        default:  // JCS_RGB
            for (uint32_t x = 0; x < width; ++x, src += 3) dst[x] = opaque(src[0], src[1], src[2]);
            break;
    }
}

// Greyscale stays one channel (we expand it ourselves), CMYK and YCCK come out as
// CMYK, everything else as RGB.
J_COLOR_SPACE outputSpaceFor(J_COLOR_SPACE fileSpace) {
    switch (fileSpace) {
        case JCS_GRAYSCALE:
            return JCS_GRAYSCALE;
        case JCS_CMYK:
        case JCS_YCCK:
            return JCS_CMYK;
        default:
            return JCS_RGB;
    }
}

// Holds no object with a destructor: a longjmp lands back in this frame.
bool runDecode(JpegDecoder& dec, const uint8_t* data, size_t size, DecodedImage& out) {
    jpeg_decompress_struct& cinfo = dec.cinfo;
    cinfo.err = &dec.errors.base;
    if (setjmp(dec.errors.jump) != 0) return false;

    dec.created = true;  // jpeg_destroy_decompress copes with a half-made decompressor
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &dec.progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
    if (!imageSizeAllowed(cinfo.image_width, cinfo.image_height)) return false;

    cinfo.out_color_space = outputSpaceFor(cinfo.jpeg_color_space);
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height) {
        return false;
    }
    out.image.reset(cinfo.output_width, cinfo.output_height);
    dec.row.resize(size_t{cinfo.output_width} * cinfo.output_components);
    while (cinfo.output_scanline < cinfo.output_height) {
        const uint32_t y = cinfo.output_scanline;
        JSAMPROW rows[1] = {dec.row.data()};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) return false;
        convertRow(cinfo, dec.row.data(), out.image.row(y));
    }
    // Reads on to the end-of-image marker, so a file cut after its last scan fails too.
    jpeg_finish_decompress(&cinfo);

    out.fileType = D3DXIFF_JPG;
    out.hasAlpha = false;
    out.fileFormat = cinfo.jpeg_color_space == JCS_GRAYSCALE ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    return true;
}

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, DecodedImage& out) {
    if (data == nullptr || size == 0) return false;
    JpegDecoder decoder;
    return runDecode(decoder, data, size, out);
}

}  // namespace d3dx8
