#include "encode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace datagen {
namespace {

bool sizeIsUsable(const std::vector<uint8_t>& rgb, int width, int height, std::string* error) {
    if (width <= 0 || height <= 0 || width > 65500 || height > 65500 ||
        rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        if (error) *error = "picture size does not match its pixels";
        return false;
    }
    return true;
}

// libjpeg reports fatal errors through a callback that must not return; as its
// documentation suggests, it jumps back to the setjmp in compressRows with the
// message kept. Only plain C data lives in the frames it jumps across.
struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jumpOnJpegError(j_common_ptr info) {
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    longjmp(errors->jump, 1);
}

// Compresses into a buffer that libjpeg allocates (freed by the caller with
// free). False with `errors->message` set on failure.
bool compressRows(const uint8_t* rgb, int width, int height, int quality, JpegErrors* errors,
                  unsigned char** buffer, unsigned long* size) {
    jpeg_compress_struct info;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors->manager);
    errors->manager.error_exit = jumpOnJpegError;
    if (setjmp(errors->jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.optimize_coding = TRUE;  // smaller Huffman tables; still a baseline file
    for (int c = 0; c < 3; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

void appendLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void appendLe32(std::vector<uint8_t>& out, uint32_t v) {
    appendLe16(out, v & 0xFFFF);
    appendLe16(out, v >> 16);
}

}  // namespace

bool encodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality,
                std::vector<uint8_t>& out, std::string* error) {
    if (!sizeIsUsable(rgb, width, height, error)) return false;
    JpegErrors errors;
    std::memset(&errors, 0, sizeof errors);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = compressRows(rgb.data(), width, height, quality, &errors, &buffer, &size);
    if (ok)
        out.assign(buffer, buffer + size);
    else if (error)
        *error = std::string("JPEG encoding failed: ") + errors.message;
    std::free(buffer);
    return ok;
}

bool encodeBmp24(const std::vector<uint8_t>& rgb, int width, int height, std::vector<uint8_t>& out,
                 std::string* error) {
    if (!sizeIsUsable(rgb, width, height, error)) return false;
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
    const uint32_t headerBytes = 14 + 40;
    out.clear();
    out.reserve(headerBytes + pixelBytes);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    appendLe32(out, headerBytes + pixelBytes);
    appendLe32(out, 0);  // two reserved words
    appendLe32(out, headerBytes);
    // BITMAPINFOHEADER: positive height means bottom-up rows.
    appendLe32(out, 40);
    appendLe32(out, static_cast<uint32_t>(width));
    appendLe32(out, static_cast<uint32_t>(height));
    appendLe16(out, 1);   // planes
    appendLe16(out, 24);  // bits per pixel
    appendLe32(out, 0);   // BI_RGB
    appendLe32(out, pixelBytes);
    appendLe32(out, 2835);  // 72 dpi, in pixels per metre
    appendLe32(out, 2835);
    appendLe32(out, 0);  // colours used
    appendLe32(out, 0);  // important colours
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            out.push_back(row[x * 3 + 2]);  // stored B, G, R
            out.push_back(row[x * 3 + 1]);
            out.push_back(row[x * 3 + 0]);
        }
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < rowBytes; ++pad)
            out.push_back(0);
    }
    return true;
}

}  // namespace datagen
