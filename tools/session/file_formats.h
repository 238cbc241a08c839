// The files a capture writes besides video: PNG pictures (libpng) and WAV
// sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace session {

// Pixels as the present observer hands them over: top-down rows of 0xAARRGGBB
// words, `pitch` bytes apart. Alpha is not written.
struct PixelRows {
    const uint32_t* pixels;
    int width;
    int height;
    int pitch;
};

// How hard zlib works: frames are written fast, pictures meant to be kept small.
enum class PngEffort { Fast, Small };

// Writes an 8-bit RGB PNG to `path` (replacing it). False, with the reason, when
// the file cannot be written.
bool writePng(const std::string& path, const PixelRows& image, PngEffort effort, std::string* error);

// A 16-bit PCM WAV file written as the sound comes, so a long capture never
// holds its sound in memory; finish() fills in the sizes the header announces.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path, int channels, uint32_t rate, std::string* error);
    // Interleaved samples, `frames` of `channels` each.
    bool append(const int16_t* samples, size_t frames, std::string* error);
    bool finish(std::string* error);

private:
    bool fail(std::string* error);

    std::FILE* file_ = nullptr;
    std::string path_;
    int channels_ = 0;
    uint64_t dataBytes_ = 0;
    std::vector<uint8_t> buffer_;
};

}  // namespace session
