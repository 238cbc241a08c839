#include "demo_session.h"

#include <memory>

#include "crt.h"
#include "device_hooks.h"
#include "frame_timing.h"
#include "message_box_hooks.h"
#include "sound_hooks.h"
#include "velmordemo.h"
#include "windows.h"

namespace session {
namespace {

// Render-loop passes (each reads the clock once) without a presented frame after
// which the demo is taken to be stuck: a frame that never presents would
// otherwise spin the loop forever at a clock that never moves.
constexpr uint64_t kStallPasses = 2000000;

struct SessionState {
    uint64_t startUpPresents = 0;  // presents before the render loop (the loading picture)
    uint64_t frames = 0;           // render-loop frames presented
    uint64_t passesSincePresent = 0;
    bool quitPosted = false;
    bool stoppedByListener = false;
    bool stalled = false;

    void quit() {
        if (quitPosted) return;
        quitPosted = true;
        PostQuitMessage(0);
    }
};

// Puts every hook the session installs back to its default.
void resetHooks() {
    d3d8::setPresentObserver(nullptr);
    sound::setStartObserver(nullptr);
    sound::setDeviceSuppressed(false);
    win32::setMessageBoxAnswerer(nullptr);
    crt::setClockSource(nullptr);
    crt::setCalendarSource(nullptr);
    d3d8::setPresentPacing(true);
}

}  // namespace

SessionResult runDemoSession(const SessionSettings& settings, SessionListener& listener) {
    const FrameTiming timing(settings.fps);
    crt::VirtualClock clock(0);
    SessionState state;

    crt::setClockSource([&] {
        if (++state.passesSincePresent > kStallPasses && !state.stalled) {
            state.stalled = true;
            state.quit();
        }
        return clock.now();
    });
    const std::time_t calendar = settings.calendarTime;
    crt::setCalendarSource([calendar] { return calendar; });
    sound::setDeviceSuppressed(true);
    sound::setStartObserver([&](const std::string& path) { listener.onMusicStart(state.frames, path); });
    win32::setMessageBoxAnswerer([&](HWND, const char* text, const char* caption, UINT type) {
        const int answer = win32::messageBoxClosedAnswer(type);
        listener.onMessageBox(caption, text, win32::messageBoxAnswerName(answer));
        return answer;
    });
    d3d8::useOffscreenDevice();
    d3d8::setPresentPacing(false);
    d3d8::setPresentObserver([&](const d3d8::FrameView& frame) {
        state.passesSincePresent = 0;
        if (state.startUpPresents > 0) {
            --state.startUpPresents;
            return;
        }
        if (state.quitPosted) return;  // a frame drawn while the quit message waits: not ours
        const uint64_t index = state.frames++;
        if (!listener.onFrame(index, frame)) {
            state.stoppedByListener = true;
            state.quit();
        }
        clock.set(static_cast<uint32_t>(timing.timeOf(state.frames)));
        if (state.frames >= settings.frames) state.quit();
    });

    auto demo = std::make_unique<cVelmorDemo>();
    // run() shows the loading picture once before its render loop.
    state.startUpPresents = demo->getLoadingImage() ? 1 : 0;
    const bool ranLoop = demo->run();
    demo.reset();
    resetHooks();

    SessionResult result{SessionEnd::Completed, state.frames};
    if (!ranLoop) {
        result.end = SessionEnd::StartUpFailed;
    } else if (state.stalled) {
        result.end = SessionEnd::Stalled;
    } else if (state.stoppedByListener) {
        result.end = SessionEnd::Stopped;
    } else if (state.frames < settings.frames) {
        result.end = SessionEnd::DemoQuit;
    }
    return result;
}

}  // namespace session
