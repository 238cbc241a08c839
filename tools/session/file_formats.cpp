#include "file_formats.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace session {
namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// libpng reports errors by longjmp; its message is kept for the caller.
struct PngErrorState {
    std::jmp_buf jump;
    std::string message;
    int systemError = 0;  // errno when libpng gave up: its "Write Error" says less
};

void onPngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
    state->systemError = errno;
    state->message = message ? message : "libpng error";
    std::longjmp(state->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Everything that must not be a local of the function that calls setjmp.
struct PngWriteJob {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_byte> row;
};

bool encode(PngWriteJob& job, PngErrorState& state, const PixelRows& image, PngEffort effort) {
    if (setjmp(state.jump)) return false;
    png_init_io(job.png, job.file);
    png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (effort == PngEffort::Fast) {
        // One cheap filter and the fastest deflate: a frame in a few milliseconds.
        png_set_filter(job.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_level(job.png, Z_BEST_SPEED);
    } else {
        png_set_compression_level(job.png, Z_BEST_COMPRESSION);
    }
    png_write_info(job.png, job.info);
    const auto* base = reinterpret_cast<const uint8_t*>(image.pixels);
    for (int y = 0; y < image.height; ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(base + static_cast<size_t>(y) * image.pitch);
        for (int x = 0; x < image.width; ++x) {
            job.row[3 * x + 0] = static_cast<png_byte>(source[x] >> 16);
            job.row[3 * x + 1] = static_cast<png_byte>(source[x] >> 8);
            job.row[3 * x + 2] = static_cast<png_byte>(source[x]);
        }
        png_write_row(job.png, job.row.data());
    }
    png_write_end(job.png, job.info);
    return true;
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

bool writePng(const std::string& path, const PixelRows& image, PngEffort effort, std::string* error) {
    PngWriteJob job;
    PngErrorState state;
    job.row.resize(static_cast<size_t>(image.width) * 3);
    job.file = std::fopen(path.c_str(), "wb");
    if (!job.file) {
        *error = systemError("cannot write", path);
        return false;
    }
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onPngError, onPngWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    bool ok = job.png && job.info && encode(job, state, image, effort);
    png_destroy_write_struct(&job.png, &job.info);
    // A failed write of the file itself (a full disk) is said in the system's
    // words, which say more than libpng's "Write Error".
    int fileError = 0;
    if (std::fflush(job.file) != 0 || std::ferror(job.file)) fileError = state.systemError ? state.systemError : errno;
    if (std::fclose(job.file) != 0 && fileError == 0) fileError = errno ? errno : EIO;
    ok = ok && fileError == 0;
    const std::string reason = fileError ? std::strerror(fileError) : state.message;
    if (!ok) *error = "cannot write " + path + (reason.empty() ? "" : ": " + reason);
    return ok;
}

// The RIFF sizes are 32-bit: a WAV file holds at most 4 GiB (about 6.7 hours of
// 44.1 kHz stereo).
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

WavWriter::~WavWriter() {
    if (file_) std::fclose(file_);
}

bool WavWriter::fail(std::string* error) {
    *error = systemError("cannot write", path_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return false;
}

bool WavWriter::open(const std::string& path, int channels, uint32_t rate, std::string* error) {
    path_ = path;
    channels_ = channels;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return fail(error);
    const auto blockAlign = static_cast<uint32_t>(channels * 2);
    std::vector<uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    put32(header, 36);  // sizes for no samples yet; finish writes the real ones
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(header, 16);  // PCM format chunk
    put16(header, 1);   // integer PCM
    put16(header, static_cast<uint32_t>(channels));
    put32(header, rate);
    put32(header, rate * blockAlign);
    put16(header, blockAlign);
    put16(header, 16);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    put32(header, 0);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) return fail(error);
    return true;
}

bool WavWriter::append(const int16_t* samples, size_t frames, std::string* error) {
    if (!file_) return fail(error);
    const size_t values = frames * static_cast<size_t>(channels_);
    if (dataBytes_ + values * 2 > kMaxWavDataBytes) {
        *error = "the sound is too long for a WAV file (at most 4 GiB)";
        return false;
    }
    // Little-endian whatever this machine's order is.
    buffer_.clear();
    for (size_t i = 0; i < values; ++i) put16(buffer_, static_cast<uint16_t>(samples[i]));
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) return fail(error);
    dataBytes_ += buffer_.size();
    return true;
}

bool WavWriter::finish(std::string* error) {
    if (!file_) return fail(error);
    std::vector<uint8_t> size;
    put32(size, static_cast<uint32_t>(36 + dataBytes_));
    bool ok = std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(size.data(), 1, 4, file_) == 4;
    size.clear();
    put32(size, static_cast<uint32_t>(dataBytes_));
    ok = ok && std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(size.data(), 1, 4, file_) == 4;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) *error = systemError("cannot write", path_);
    return ok;
}

}  // namespace session
