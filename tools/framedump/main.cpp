// framedump: the demo's frames at chosen demo times, as PNG files, drawn by the
// port's real device (OpenGL on Linux, Direct3D 8 on Windows) on a virtual clock
// with a fixed calendar time, so that two builds can be compared frame by frame.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "demo_session.h"
#include "file_formats.h"
#include "frame_timing.h"
#include "options.h"
#include "run_directory.h"

namespace {

namespace fs = std::filesystem;

// Writes the frames asked for and stops the demo after the last one.
class FrameWriter : public session::SessionListener {
public:
    FrameWriter(const framedump::Options& options, const session::FrameTiming& timing) : out_(options.out) {
        for (uint64_t ms : options.times) wanted_[timing.firstFrameAtOrAfter(ms)].push_back(ms);
    }

    uint64_t framesNeeded() const { return wanted_.rbegin()->first + 1; }
    int written() const { return written_; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    int messageBoxes() const { return messageBoxes_; }

    bool onFrame(uint64_t index, const d3d8::FrameView& frame) override {
        const auto found = wanted_.find(index);
        if (found == wanted_.end()) return true;
        const session::PixelRows rows{frame.pixels, frame.width, frame.height, frame.pitch};
        for (uint64_t ms : found->second) {
            const fs::path file = out_ / framedump::frameFileName(ms);
            if (!session::writePng(file.string(), rows, session::PngEffort::Fast, &error_)) return false;
            ++written_;
        }
        return true;
    }

    void onMusicStart(uint64_t, const std::string&) override {}

    void onMessageBox(const std::string& caption, const std::string& text, const char* answer) override {
        ++messageBoxes_;
        std::fprintf(stderr, "framedump: the demo showed a message box \"%s\": %s (answered %s)\n",
                     caption.c_str(), text.c_str(), answer);
    }

private:
    fs::path out_;
    std::map<uint64_t, std::vector<uint64_t>> wanted_;  // frame -> the times it shows
    int written_ = 0;
    int messageBoxes_ = 0;
    std::string error_;
};

}  // namespace

int main(int argc, char** argv) {
    framedump::Options options;
    std::string error;
    if (!framedump::parseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "framedump: %s\n%s", error.c_str(), framedump::kUsage);
        return 2;
    }
    std::error_code status;
    options.out = fs::absolute(options.out, status);
    options.data = fs::absolute(options.data, status);
    fs::create_directories(options.out, status);
    if (status) {
        std::fprintf(stderr, "framedump: cannot make %s: %s\n", options.out.string().c_str(), status.message().c_str());
        return 1;
    }

    const session::FrameTiming timing(options.fps);
    FrameWriter writer(options, timing);
    session::SessionResult result{session::SessionEnd::StartUpFailed, 0};
    {
        session::RunDirectory workDir;
        if (!workDir.create(options.data, options.out, options.width, options.height, &error)) {
            std::fprintf(stderr, "framedump: %s\n", error.c_str());
            return 1;
        }
        const fs::path previous = fs::current_path();
        fs::current_path(workDir.path());
        session::SessionSettings settings;
        settings.fps = options.fps;
        settings.frames = writer.framesNeeded();
        settings.calendarTime = options.calendarTime;
        result = session::runDemoSession(settings, writer);
        fs::current_path(previous);
    }
    if (writer.failed()) {
        std::fprintf(stderr, "framedump: %s\n", writer.error().c_str());
        return 1;
    }
    if (result.end != session::SessionEnd::Completed || writer.messageBoxes() > 0) {
        std::fprintf(stderr, "framedump: the demo stopped after %llu of %llu frames (see its log in %s)\n",
                     static_cast<unsigned long long>(result.framesDrawn),
                     static_cast<unsigned long long>(writer.framesNeeded()), options.out.string().c_str());
        return 1;
    }
    std::printf("framedump: %d frames written to %s\n", writer.written(), options.out.string().c_str());
    return 0;
}
