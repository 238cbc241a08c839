// The demo, run by a tool rather than watched: the real cVelmorDemo through its
// own run(), on the port's device for unwatched frames (offscreen OpenGL on
// Linux, a window of the real Direct3D 8 on Windows), with a virtual clock that
// moves only when a frame has been presented, a fixed calendar time, no audio
// device and message boxes answered without waiting. The tool sees every finished frame
// and the moment the music starts, and decides when the demo stops.
//
// run() is used as it is: the session only installs the platform's hooks (clock
// and calendar source, present observer, sound start observer and device
// switch, message-box answerer) and stops the demo by posting the quit message
// from the present observer, as a user's Escape would.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "present_hooks.h"

namespace session {

struct SessionSettings {
    uint32_t fps = 60;       // each presented frame moves the clock to the next frame's time
    uint64_t frames = 0;     // frames of the render loop to draw; the demo quits after the last
    std::time_t calendarTime = 0;
};

class SessionListener {
public:
    virtual ~SessionListener() = default;
    // Frame `index` of the render loop (0 first) is finished and about to be
    // shown. Returning false stops the demo after this frame.
    virtual bool onFrame(uint64_t index, const d3d8::FrameView& frame) = 0;
    // The demo started its music while it drew frame `index`.
    virtual void onMusicStart(uint64_t index, const std::string& modulePath) = 0;
    // The demo showed a message box; it was answered with `answer` ("OK", "Cancel"...).
    virtual void onMessageBox(const std::string& caption, const std::string& text, const char* answer) = 0;
};

enum class SessionEnd {
    Completed,      // every frame asked for was drawn
    Stopped,        // the listener stopped it
    DemoQuit,       // the demo ended on its own before the last frame (an error box, a failed frame)
    StartUpFailed,  // run() failed before its render loop
    Stalled,        // the render loop kept running without presenting frames
};

struct SessionResult {
    SessionEnd end;
    uint64_t framesDrawn;
};

// Runs the demo in the current working directory (which must hold its Data/).
// Readies the device for unwatched frames (d3d8::useOffscreenDevice, which on
// Linux sets SDL_VIDEODRIVER to "offscreen" for this process). Every hook is put
// back to its default before returning.
SessionResult runDemoSession(const SessionSettings& settings, SessionListener& listener);

}  // namespace session
