// Decodes pictures and renders music with the third-party libraries and prints what came out:
// the libraries' versions, then sizes and CRC-32 checksums of the pixels and the samples.
// deps_check.sh builds it natively against the system's libraries and for Windows against the
// ones tools/windows/deps.sh built; with the same upstream versions both print the same lines.
// Usage: deps_check FILE...   (.jpg, .png, or a tracker module: .xm .mod .it .s3m)
// Exit status: 0 when every file was read, 1 when one could not be opened, 2 on bad usage.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <libopenmpt/libopenmpt.hpp>
#include <png.h>
#include <zlib.h>

namespace {

using Bytes = std::vector<unsigned char>;

struct Picture {
    unsigned width = 0;
    unsigned height = 0;
    unsigned channels = 0;
    Bytes pixels;
};

unsigned long checksum(const void* data, std::size_t size) {
    return crc32(crc32(0L, Z_NULL, 0), static_cast<const Bytef*>(data), static_cast<uInt>(size));
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

bool readFile(const std::string& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onJpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg reports errors by longjmp, so this frame holds nothing with a destructor; the picture
// belongs to the caller.
bool decodeJpeg(const Bytes& file, Picture& picture, JpegErrors& errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    errors.message[0] = '\0';
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    picture.width = info.output_width;
    picture.height = info.output_height;
    picture.channels = static_cast<unsigned>(info.output_components);
    const std::size_t stride = std::size_t{picture.width} * picture.channels;
    picture.pixels.resize(stride * picture.height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// libpng's simplified interface, to 8-bit RGBA whatever the file holds.
bool decodePng(const Bytes& file, Picture& picture, std::string& message) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) {
        message = image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    picture.width = image.width;
    picture.height = image.height;
    picture.channels = 4;
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr) == 0) {
        message = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

void printPicture(const char* kind, const std::string& name, const Picture& picture) {
    std::printf("%s %s %ux%ux%u crc32=%08lx\n", kind, name.c_str(), picture.width, picture.height,
                picture.channels, checksum(picture.pixels.data(), picture.pixels.size()));
}

// One second at 48 kHz, 16-bit stereo, without dither (whose noise is random).
void renderModule(const std::string& name, const Bytes& file) {
    constexpr std::int32_t kRate = 48000;
    try {
        openmpt::module module(file);
        module.ctl_set_integer("dither", 0);
        std::vector<std::int16_t> samples(std::size_t{kRate} * 2);
        std::size_t frames = 0;
        while (frames < kRate) {
            const std::size_t got =
                module.read_interleaved_stereo(kRate, kRate - frames, samples.data() + frames * 2);
            if (got == 0) break;
            frames += got;
        }
        int peak = 0;
        for (std::size_t i = 0; i < frames * 2; ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        }
        std::printf("module %s type=%s channels=%d patterns=%d duration=%.2fs frames=%zu peak=%d "
                    "crc32=%08lx\n",
                    name.c_str(), module.get_metadata("type").c_str(), module.get_num_channels(),
                    module.get_num_patterns(), module.get_duration_seconds(), frames, peak,
                    checksum(samples.data(), frames * 2 * sizeof(std::int16_t)));
    } catch (const std::exception& e) {
        std::printf("module %s error: %s\n", name.c_str(), e.what());
    }
}

void printVersions() {
    std::printf("zlib %s, libpng %s, libjpeg-turbo %d (libjpeg API %d), libopenmpt %s\n",
                zlibVersion(), png_get_libpng_ver(nullptr), LIBJPEG_TURBO_VERSION_NUMBER,
                JPEG_LIB_VERSION, openmpt::string::get("library_version").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: deps_check FILE...\n");
        return 2;
    }
    printVersions();
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const std::string name = baseName(path);
        const std::string ext = extension(path);
        Bytes file;
        if (!readFile(path, file)) {
            std::fprintf(stderr, "deps_check: cannot read %s\n", path.c_str());
            status = 1;
            continue;
        }
        Picture picture;
        if (ext == "jpg" || ext == "jpeg") {
            JpegErrors errors;
            if (decodeJpeg(file, picture, errors)) {
                printPicture("jpeg", name, picture);
            } else {
                std::printf("jpeg %s error: %s\n", name.c_str(), errors.message);
            }
        } else if (ext == "png") {
            std::string message;
            if (decodePng(file, picture, message)) {
                printPicture("png", name, picture);
            } else {
                std::printf("png %s error: %s\n", name.c_str(), message.c_str());
            }
        } else {
            renderModule(name, file);
        }
    }
    return status;
}
