// capture: renders the demo offline, frame by frame at an exact rate, with its
// music in sync, to numbered PNG frames, an MP4 video or a contact sheet.
//
// Exit status: 0 when the capture is complete, 1 when it failed (nothing is left
// under the output's name), 2 for a bad command line, 128 + the signal number
// when it was interrupted by SIGINT or SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "capture_output.h"
#include "demo_data.h"
#include "device_hooks.h"
#include "demo_session.h"
#include "frame_timing.h"
#include "interrupt.h"
#include "offline_music.h"
#include "options.h"
#include "progress.h"

namespace {

using namespace capture;
using namespace session;

std::string seconds(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ms) / 1000.0);
    return text;
}

// Takes the demo's frames and music start from the session and feeds the output.
class CaptureListener final : public SessionListener {
public:
    CaptureListener(const Options& options, const FrameTiming& timing, uint64_t firstFrame, CaptureOutput& output,
                    ProgressLine& progress)
        : options_(options), timing_(timing), firstFrame_(firstFrame), output_(output), progress_(progress) {}

    bool onFrame(uint64_t index, const d3d8::FrameView& frame) override {
        if (interruptSignal()) return false;
        if (frame.width != options_.width || frame.height != options_.height) {
            error_ = "the demo drew " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                     " frames, not " + std::to_string(options_.width) + "x" + std::to_string(options_.height);
            return false;
        }
        // The music runs on before --from too, so it is where it belongs at the first written frame.
        const uint64_t samples = timing_.samplesIn(index, OfflineMusic::kRate);
        sound_.resize(samples * OfflineMusic::kChannels);
        music_.render(sound_.data(), samples);
        if (index >= firstFrame_) {
            // The sound first: an encoder may wait for it before it takes the frame.
            const PixelRows rows{frame.pixels, frame.width, frame.height, frame.pitch};
            if (!output_.writeSound(sound_.data(), samples, &error_) || !output_.writeFrame(rows, &error_)) {
                return false;
            }
        }
        progress_.update(index + 1);
        return true;
    }

    void onMusicStart(uint64_t index, const std::string& modulePath) override {
        std::string error;
        if (!music_.start(modulePath, &error)) report("warning: " + error + "; the sound track stays silent");
        musicStart_ = index;
        musicStarted_ = true;
    }

    void onMessageBox(const std::string& caption, const std::string& text, const char* answer) override {
        ++messageBoxes_;
        // The boxes of a device that could not be made add nothing to the
        // port's own line about it.
        if (d3d8::deviceFailureExplained()) return;
        report("the demo showed a message box \"" + caption + "\": " + text + " (answered " + answer + ")");
    }

    const std::string& error() const { return error_; }
    int messageBoxes() const { return messageBoxes_; }
    bool musicStarted() const { return musicStarted_; }
    uint64_t musicStart() const { return musicStart_; }

private:
    void report(const std::string& message) {
        progress_.finish();
        std::cerr << "capture: " << message << std::endl;
    }

    const Options& options_;
    const FrameTiming& timing_;
    uint64_t firstFrame_;
    CaptureOutput& output_;
    ProgressLine& progress_;
    OfflineMusic music_;
    std::vector<int16_t> sound_;
    std::string error_;
    int messageBoxes_ = 0;
    bool musicStarted_ = false;
    uint64_t musicStart_ = 0;
};

int fail(const std::string& message) {
    std::cerr << "capture: " << message << std::endl;
    return 1;
}

int interrupted(CaptureOutput& output) {
    output.abandon();
    std::cerr << "capture: interrupted; nothing was written (the partial output was removed)" << std::endl;
    return 128 + static_cast<int>(interruptSignal());
}

std::unique_ptr<CaptureOutput> makeOutput(const Options& options, const std::string& ffmpeg, uint64_t frames) {
    const FrameFormat format{options.width, options.height, options.fps, OfflineMusic::kRate};
    switch (options.kind) {
        case OutputKind::Video: return makeVideoOutput(options.out, ffmpeg, format);
        case OutputKind::ContactSheet:
            return makeContactSheetOutput(options.out, format, options.sheetColumns, options.sheetRows, frames);
        case OutputKind::FrameDirectory: break;
    }
    return makeFrameDirectoryOutput(options.out, format);
}

std::string whatWentWrong(const SessionResult& result, uint64_t frames, const FrameTiming& timing) {
    switch (result.end) {
        case SessionEnd::StartUpFailed: return "the demo failed to start";
        case SessionEnd::Stalled:
            return "the demo stopped presenting frames after frame " + std::to_string(result.framesDrawn);
        case SessionEnd::DemoQuit:
        case SessionEnd::Stopped:
            return "the demo quit after " + std::to_string(result.framesDrawn) + " of " + std::to_string(frames) +
                   " frames (at " + seconds(timing.timeOf(result.framesDrawn)) + ")";
        case SessionEnd::Completed: break;
    }
    return {};
}

int runCapture(const Options& options) {
    std::string ffmpeg;
    if (options.kind == OutputKind::Video) {
        ffmpeg = findProgram("ffmpeg", std::getenv("PATH"));
        if (ffmpeg.empty()) {
            return fail("ffmpeg was not found on the PATH; it encodes the MP4 (on Debian: apt-get install ffmpeg). "
                        "Numbered PNG frames need no ffmpeg: --out DIRECTORY");
        }
    }
    const FrameTiming timing(options.fps);
    const uint64_t firstFrame = timing.firstFrameAtOrAfter(options.fromMs);
    const uint64_t endFrame = timing.firstFrameAtOrAfter(options.toMs);
    if (endFrame <= firstFrame) return fail("no frame falls between --from and --to at this frame rate");
    const uint64_t written = endFrame - firstFrame;

    std::unique_ptr<CaptureOutput> output = makeOutput(options, ffmpeg, written);
    std::string error;
    if (!output->open(&error)) return fail(error);
    if (!ensureDemoData(options.dataDir, &std::cerr, &error)) return fail(error);
    if (interruptSignal()) return interrupted(*output);
    std::unique_ptr<DemoWorkDir> workDir = DemoWorkDir::create(options.dataDir, options.width, options.height, &error);
    if (!workDir) return fail(error);

    std::cerr << "capture: " << written << " frames, " << seconds(timing.timeOf(firstFrame)) << " to "
              << seconds(options.toMs) << " of the demo at " << options.fps << " fps, " << options.width << "x"
              << options.height << ", to " << options.out << std::endl;
    ProgressLine progress(stderr, endFrame);
    CaptureListener listener(options, timing, firstFrame, *output, progress);
    SessionResult result{SessionEnd::StartUpFailed, 0};
    {
        ScopedWorkingDirectory inWorkDir(workDir->path());
        if (!inWorkDir.entered()) return fail("cannot enter the working directory " + workDir->path().string());
        result = runDemoSession(SessionSettings{options.fps, endFrame, options.calendarTime}, listener);
    }
    progress.finish();

    if (interruptSignal()) return interrupted(*output);
    if (!listener.error().empty()) return fail(listener.error());
    if (result.end != SessionEnd::Completed) {
        output->abandon();
        if (result.end == SessionEnd::StartUpFailed && d3d8::deviceFailureExplained()) return 1;  // said above
        workDir->keep();
        const std::string log = workDir->logFile().string();
        return fail(whatWentWrong(result, endFrame, timing) + "; nothing was written. The demo's log: " +
                    (log.empty() ? "none was written" : log));
    }
    if (!output->finish(&error)) return fail(error);

    std::cerr << "capture: wrote " << written << " frames to " << options.out;
    if (options.kind != OutputKind::ContactSheet) {
        std::cerr << (listener.musicStarted() ? ", music from " + seconds(timing.timeOf(listener.musicStart()))
                                              : std::string(", no music in this span"));
    }
    std::cerr << std::endl;
    if (listener.messageBoxes() > 0) {
        std::cerr << "capture: note: the demo showed " << listener.messageBoxes()
                  << " message box(es), printed above" << std::endl;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    switch (parseOptions(args, &options, &error)) {
        case ParseOutcome::Help: std::cout << usageText(); return 0;
        case ParseOutcome::Error: std::cerr << "capture: " << error << "\n" << usageText(); return 2;
        case ParseOutcome::Run: break;
    }
    installInterruptHandlers();
    return runCapture(options);
}
