// Where a capture goes. Every kind writes under a temporary name beside the
// final one and moves it into place only when the capture is complete, so an
// interrupted or failed capture never leaves something that looks finished.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "file_formats.h"

namespace capture {

class CaptureOutput {
public:
    virtual ~CaptureOutput() = default;

    // Creates the temporary output (and starts any encoder). Nothing is rendered
    // before this has succeeded, so an unusable output is found at once.
    virtual bool open(std::string* error) = 0;
    // One frame, in order; all of the same size.
    virtual bool writeFrame(const session::PixelRows& frame, std::string* error) = 0;
    // The sound that goes with the frame just written: interleaved stereo samples.
    virtual bool writeSound(const int16_t* samples, size_t frames, std::string* error) = 0;
    // Completes the output and moves it to its final name.
    virtual bool finish(std::string* error) = 0;
    // Stops any encoder and removes the temporary output. Safe to call at any
    // time, also after a failed open or finish; a finished output stays.
    virtual void abandon() = 0;
    // The temporary name in use (for messages).
    virtual std::string temporaryPath() const = 0;
};

struct FrameFormat {
    int width;
    int height;
    uint32_t fps;
    uint32_t soundRate;  // sample frames a second, stereo
};

// A directory of frame_000000.png, frame_000001.png... and audio.wav. The
// directory must not exist yet or be empty: frames of an earlier capture are
// never mixed with new ones.
std::unique_ptr<CaptureOutput> makeFrameDirectoryOutput(const std::string& path, const FrameFormat& format);

// An MP4 file (H.264 video, AAC sound) encoded by the ffmpeg program at
// `ffmpegPath`, which reads the frames and the sound through two pipes. An
// existing file of that name is replaced once the capture is complete.
std::unique_ptr<CaptureOutput> makeVideoOutput(const std::string& path, const std::string& ffmpegPath,
                                               const FrameFormat& format);

// One PNG of `columns` × `rows` frames at the frame size, in reading order: of
// the `frameCount` frames written, the one in the middle of each of the
// columns × rows equal parts.
std::unique_ptr<CaptureOutput> makeContactSheetOutput(const std::string& path, const FrameFormat& format,
                                                      int columns, int rows, uint64_t frameCount);

// The frame (0-based, of `frameCount`) that tile `tile` of `tiles` shows.
uint64_t contactSheetFrame(int tile, int tiles, uint64_t frameCount);

// The ffmpeg program on the search path `pathVariable` (the PATH environment
// variable's form), or an empty string when there is none.
std::string findProgram(const std::string& name, const char* pathVariable);

}  // namespace capture
