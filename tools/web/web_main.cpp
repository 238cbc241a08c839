// The demo in a browser. Normally it runs as the program does (runDemo, like
// Demo/main.cpp), started by the viewer's click. A page opened with
// ?frames=MS,MS,... runs it as framedump does instead: on the virtual clock and
// fixed calendar time of a demo session, handing each frame asked for to the
// page (Module.onFrame) as it is drawn, so that tests can compare the browser's
// frames with the native build's.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "demo_session.h"
#include "frame_timing.h"
#include "model.h"
#include "velmordemo.h"
#include "web_start.h"

namespace {

// As in Demo/main.cpp: the engine's test model lives as long as the program.
cTestModel s_testModel;

constexpr std::time_t kCalendarTime = 1262304000;  // 2010-01-01 00:00:00 UTC, as framedump uses
constexpr uint32_t kFps = 60;
// Frames drawn between two turns of the browser, so that the page stays alive.
constexpr uint64_t kFramesPerYield = 30;

// The demo times the page asks for, in the ascending order framedump keeps.
EM_JS(int, requestedFrameCount, (), {
    return (Module.requestedFrames || []).length;
});
EM_JS(double, requestedFrame, (int i), { return Module.requestedFrames[i]; });

EM_JS(void, handFrame, (double ms, const uint32_t* pixels, int width, int height, int pitch), {
    Module.onFrame(ms, HEAPU8.subarray(pixels, pixels + pitch * height), width, height, pitch);
});

// The session's end (session::SessionEnd), and when each frame was finished
// (ms of the page's clock), for the frame rates of the effects.
EM_JS(void, reportFrames, (int end, int boxes, const double* finished, int count), {
    var times = Array.from(HEAPF64.subarray(finished >> 3, (finished >> 3) + count));
    Module.onFramesDone({end: end, framesDrawn: count, messageBoxes: boxes, finishedAt: times});
});

class FrameHandler : public session::SessionListener {
public:
    FrameHandler(const std::vector<uint64_t>& times, const session::FrameTiming& timing) {
        for (uint64_t ms : times) wanted_[timing.firstFrameAtOrAfter(ms)].push_back(ms);
    }
    uint64_t framesNeeded() const { return wanted_.empty() ? 0 : wanted_.rbegin()->first + 1; }
    int messageBoxes() const { return messageBoxes_; }
    const std::vector<double>& finishedAt() const { return finishedAt_; }

    bool onFrame(uint64_t index, const d3d8::FrameView& frame) override {
        finishedAt_.push_back(emscripten_get_now());
        const auto found = wanted_.find(index);
        if (found != wanted_.end()) {
            for (uint64_t ms : found->second) {
                handFrame(static_cast<double>(ms), frame.pixels, frame.width, frame.height,
                          frame.pitch);
            }
        }
        if (index % kFramesPerYield == 0) emscripten_sleep(0);
        return true;
    }
    void onMusicStart(uint64_t, const std::string&) override {}
    void onMessageBox(const std::string& caption, const std::string& text, const char* answer) override {
        ++messageBoxes_;
        std::fprintf(stderr, "frames: the demo showed a message box \"%s\": %s (answered %s)\n",
                     caption.c_str(), text.c_str(), answer);
    }

private:
    std::map<uint64_t, std::vector<uint64_t>> wanted_;  // frame -> the times it shows
    std::vector<double> finishedAt_;
    int messageBoxes_ = 0;
};

int runFrames(const std::vector<uint64_t>& times) {
    const session::FrameTiming timing(kFps);
    FrameHandler handler(times, timing);
    session::SessionSettings settings;
    settings.fps = kFps;
    settings.frames = handler.framesNeeded();
    settings.calendarTime = kCalendarTime;
    webStart();  // nobody clicks: the session's own clock runs the demo
    const session::SessionResult result = session::runDemoSession(settings, handler);
    reportFrames(static_cast<int>(result.end), handler.messageBoxes(), handler.finishedAt().data(),
                 static_cast<int>(handler.finishedAt().size()));
    return result.end == session::SessionEnd::Completed && handler.messageBoxes() == 0 ? 0 : 1;
}

int run() {
    std::vector<uint64_t> times;
    for (int i = 0; i < requestedFrameCount(); ++i) {
        times.push_back(static_cast<uint64_t>(requestedFrame(i)));
    }
    if (!times.empty()) return runFrames(times);
    cVelmorDemo demo;
    return runDemo(demo);
}

// A main that has given control back to the browser on the way (ASYNCIFY)
// returns to nobody: the page is told of the end itself.
EM_JS(void, tellPageTheEnd, (int code), {
    if (Module.onExit) Module.onExit(code);
});

}  // namespace

int main() {
    const int code = run();
    tellPageTheEnd(code);
    return code;
}
