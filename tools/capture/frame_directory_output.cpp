// Numbered PNG frames and the sound as a WAV file, in one directory.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "capture_output.h"
#include "output_files.h"

namespace capture {
namespace {

namespace fs = std::filesystem;

class FrameDirectoryOutput final : public CaptureOutput {
public:
    FrameDirectoryOutput(std::string path, const FrameFormat& format) : output_(std::move(path)), format_(format) {}
    ~FrameDirectoryOutput() override { abandon(); }

    bool open(std::string* error) override {
        const std::string& path = output_.finalPath();
        std::error_code status;
        if (fs::exists(path, status) && !(fs::is_directory(path, status) && fs::is_empty(path, status))) {
            *error = path + " exists and is not an empty directory: choose a new one or remove it";
            return false;
        }
        if (!output_.createDirectory(error)) return false;
        return sound_.open((fs::path(output_.temporary()) / "audio.wav").string(), 2, format_.soundRate, error);
    }

    bool writeFrame(const session::PixelRows& frame, std::string* error) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(frames_));
        ++frames_;
        const std::string path = (fs::path(output_.temporary()) / name).string();
        return session::writePng(path, frame, session::PngEffort::Fast, error);
    }

    bool writeSound(const int16_t* samples, size_t frames, std::string* error) override {
        return sound_.append(samples, frames, error);
    }

    bool finish(std::string* error) override {
        return sound_.finish(error) && output_.commit(error);
    }

    void abandon() override {
        output_.discard();
    }

    std::string temporaryPath() const override { return output_.temporary(); }

private:
    files::PendingOutput output_;
    FrameFormat format_;
    uint64_t frames_ = 0;
    session::WavWriter sound_;
};

}  // namespace

std::unique_ptr<CaptureOutput> makeFrameDirectoryOutput(const std::string& path, const FrameFormat& format) {
    return std::make_unique<FrameDirectoryOutput>(path, format);
}

}  // namespace capture
