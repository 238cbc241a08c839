// The fault sweep's machinery: runs the whole demo (cVelmorDemo through runDemo and
// its main loop) on the recording device with a virtual clock that steps through
// every effect, optionally makes one device call fail, and reports what the program
// did. Used by fault_sweep_test.cpp, which runs inside a testing_support::EngineTest
// (fresh working directory, recording back end, fixed calendar time).
//
// A checked call site is identified by where the call is made and what the call
// is, not by its ordinal alone (an ordinal changes whenever anything upstream
// changes, and would make every frame's Clear a site of its own):
//   place   device set-up, loading screen, effect initialisation, a frame of effect
//           k (0-5), or shut-down; the same code reached from different effects
//           (every scene's Clear, every blend state) is a site per effect;
//   method  the recorded method ("SetRenderState", "IDirect3DTexture8::LockRect");
//   shape   the recorded call text with structures and matrices left out
//           ("SetRenderState(27, 1)", "SetLight(0, {...})"), so per-frame values do
//           not multiply the sites while arguments that choose a different check
//           (the render state, a light switched on or off) still tell sites apart.
//           Creations keep the object they made ("... -> vb7"): each object's
//           creation is a site of its own, since each owner decides alone whether
//           a failure stops it.
// A site is checked when its first occurrence, made to fail once, makes the engine
// write a failure message (error, fatal error or warning) to the log; that
// message is the site's failure text. Discovery finds the sites by doing exactly
// that for every distinct (place, method, shape) a clean run recorded, so no list
// of call sites is kept by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "crt.h"
#include "d3d8.h"
#include "light.h"
#include "message_box_hooks.h"
#include "node.h"
#include "recording/recording.h"
#include "velmordemo.h"
#include "win32_sdl.h"
#include "windows.h"

namespace fault_sweep {

enum class Phase { Device, Loading, EffectInit, Frame, ShutDown };

inline const char* phaseName(Phase phase) {
    switch (phase) {
        case Phase::Device: return "device set-up";
        case Phase::Loading: return "loading screen";
        case Phase::EffectInit: return "effect init";
        case Phase::Frame: return "frame of effect";
        case Phase::ShutDown: return "shut-down";
    }
    return "?";
}

// Where a call was made.
struct CallPlace {
    Phase phase;
    int effect;  // schedule index for Frame, -1 otherwise
    bool operator<(const CallPlace& other) const {
        return std::tie(phase, effect) < std::tie(other.phase, other.effect);
    }
    std::string describe() const {
        std::string text = phaseName(phase);
        if (phase == Phase::Frame) text += " #" + std::to_string(effect);
        return text;
    }
};

inline void PrintTo(const CallPlace& place, std::ostream* out) { *out << place.describe(); }

struct Box {
    std::string text;
    std::string caption;
    UINT type;
};

// One planned failure: the `nth` call of `method` (counted from the start of the
// run) fails with `result`; with `fromThereOn`, every later call of it fails too.
struct Failure {
    std::string method;
    int nth = 0;
    HRESULT result = D3DERR_INVALIDCALL;
    bool fromThereOn = false;
};

// The result every planned failure returns.
constexpr HRESULT kFailure = D3DERR_INVALIDCALL;

struct RunOptions {
    const Failure* failure = nullptr;  // none: a clean run
    int answer = IDYES;                // to every Yes/No(/Cancel) box; OK boxes get OK
    // Ends the loop at the first pass after the failure (discovery needs only the
    // message, not the rest of the demo).
    bool stopSoonAfterFailure = false;
};

struct RecordedCall {
    std::string method;
    std::string text;
    HRESULT result;
};

struct RunResult {
    int exitCode = 0;
    std::vector<Box> boxes;
    std::string log;
    std::vector<RecordedCall> calls;  // every device call, in order
    size_t loopStartCall = SIZE_MAX;  // calls made before the loop started; SIZE_MAX: never
    int framesDrawn = 0;              // frames the loop presented
    int framesAfterFailure = -1;      // loop frames presented after the failing call; -1: none failed
    size_t failingCall = SIZE_MAX;    // index of the planned failure's first call
    int liveObjectsAfterRun = 0;      // recording objects alive when runDemo returned
    int lightCountAfterRun = 0;       // cLight::s_LightCount
    size_t matrixStackDepthAfterRun = 0;
};

// ---------------------------------------------------------------------------
// The timeline

struct EffectFrames {
    float start;                  // the schedule's start time of the effect
    std::vector<uint32_t> local;  // local times of its frames, the first one 0
};

// A handful of frames per effect at the times its scene changes (transitions,
// ramps, the grain, the fades), covering all six in schedule order.
inline const std::vector<EffectFrames>& timeline() {
    static const std::vector<EffectFrames> frames = {
        {0, {0, 2000, 3000, 3001, 3100, 4000, 5600, 6600, 8250, 8600, 11000}},
        {12000, {0, 1000, 9951, 10001, 11000}},
        {24000, {0, 16, 1000, 2500}},
        {36000, {0, 1000}},
        {42000, {0, 3500, 5025, 7990, 9000}},
        {52000, {0, 2000, 3020, 6951, 8000}},
    };
    return frames;
}

// Elapsed times (ms since the loop started) of every frame, in order. An effect's
// first frame comes 1 ms after its start, since the loop switches only once the
// elapsed time is past the start; its local time there is 0.
inline const std::vector<uint32_t>& frameTimes() {
    static const std::vector<uint32_t> times = [] {
        std::vector<uint32_t> all;
        for (const EffectFrames& effect : timeline()) {
            const uint32_t first = effect.start == 0 ? 0 : static_cast<uint32_t>(effect.start) + 1;
            for (uint32_t local : effect.local) all.push_back(first + local);
        }
        return all;
    }();
    return times;
}

inline int frameCount() { return static_cast<int>(frameTimes().size()); }

// The schedule index current at frame `frame`.
inline int effectOfFrame(int frame) {
    int index = 0;
    for (const EffectFrames& effect : timeline()) {
        if (frame < static_cast<int>(effect.local.size())) return index;
        frame -= static_cast<int>(effect.local.size());
        ++index;
    }
    return index - 1;
}

// ---------------------------------------------------------------------------
// One run

inline bool isPresent(const std::string& method) { return method == "Present"; }

inline void resetProgramStatics() {
    // Each of these lives once per process in the program; a run here is a process.
    cVelmorEffect::s_musicStarted = false;
    cVelmorEffect::s_fadedIn = false;
    cDropEffect::s_started = false;
    cExtroEffect::s_started = false;
    cGreetingsEffect::s_started = false;
    cLight::s_LightCount = 0;
    s_MatrixStack.truncate(0);
    crt::srand(1);
}

inline void drainMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string readLog() {
    const std::filesystem::path dir = std::filesystem::current_path() / "Data" / "Logs";
    if (!std::filesystem::exists(dir)) return "";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) return readWholeFile(entry.path());
    return "";
}

// Runs the demo once in the current working directory (which holds
// Data/Config/direct3d.cfg and whatever textures the run should find).
inline RunResult runDemoOnce(const RunOptions& options) {
    auto& recorder = d3d8::recording::recorder();
    recorder.reset();
    resetProgramStatics();
    drainMessages();
    std::filesystem::remove_all("Data/Logs");

    RunResult run;
    const Failure* failure = options.failure;
    if (failure) recorder.failNth(failure->method, failure->nth, failure->result);

    auto demo = std::make_unique<cVelmorDemo>();
    bool switchedToAlways = false;
    win32::setMessageBoxAnswerer([&](HWND, const char* text, const char* caption, UINT type) {
        run.boxes.push_back({text, caption, type});
        // The first box of a failure run reports the planned failure, which has just
        // happened: from here on every call of the method fails.
        if (failure && failure->fromThereOn && !switchedToAlways) {
            recorder.failAlways(failure->method, failure->result);
            switchedToAlways = true;
        }
        return (type & MB_TYPEMASK) == MB_OK ? IDOK : options.answer;
    });

    // The loop reads the clock once when it starts and once per pass. Each pass
    // gets the time of the next frame to draw, counted by the frames presented, so
    // passes that only take a message do not use up a frame.
    bool escaped = false;
    size_t scanned = 0;
    int presentsInLoop = 0;
    int failingMethodCalls = 0;
    const auto scan = [&](const std::vector<d3d8::recording::Call>& calls, bool inLoop) {
        for (; scanned < calls.size(); ++scanned) {
            if (inLoop) presentsInLoop += isPresent(calls[scanned].method);
            if (failure) failingMethodCalls += calls[scanned].method == failure->method;
        }
    };
    crt::setClockSource([&]() -> uint32_t {
        const auto& calls = recorder.calls();
        if (run.loopStartCall == SIZE_MAX) {
            scan(calls, false);
            run.loopStartCall = calls.size();
            return 0;
        }
        scan(calls, true);
        const bool failed = failure && failingMethodCalls >= failure->nth;
        if (!escaped && (presentsInLoop >= frameCount() || (options.stopSoonAfterFailure && failed))) {
            PostMessageA(demo->getWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
            escaped = true;
        }
        return frameTimes()[std::min(presentsInLoop, frameCount() - 1)];
    });

    run.exitCode = runDemo(*demo);
    run.liveObjectsAfterRun = d3d8::recording::liveObjects();
    run.lightCountAfterRun = cLight::s_LightCount;
    run.matrixStackDepthAfterRun = s_MatrixStack.depth();

    crt::setClockSource(nullptr);
    win32::setMessageBoxAnswerer(nullptr);
    if (IsWindow(demo->getWindow())) DestroyWindow(demo->getWindow());
    UnregisterClassA("DemoWindow", GetModuleHandleA(nullptr));
    drainMessages();
    demo.reset();
    recorder.clearFailures();

    run.log = readLog();
    const auto& calls = recorder.calls();
    run.calls.reserve(calls.size());
    int seen = 0;
    int presentsBefore = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        run.calls.push_back({calls[i].method, calls[i].text, calls[i].result});
        const bool inLoop = run.loopStartCall != SIZE_MAX && i >= run.loopStartCall;
        if (inLoop && isPresent(calls[i].method)) ++run.framesDrawn;
        if (failure && run.failingCall == SIZE_MAX && calls[i].method == failure->method &&
            ++seen == failure->nth) {
            run.failingCall = i;
            presentsBefore = run.framesDrawn - (inLoop && isPresent(calls[i].method) ? 1 : 0);
        }
    }
    if (run.failingCall != SIZE_MAX) {
        // A failing Present still counts as presented: the frame was drawn.
        run.framesAfterFailure = run.framesDrawn - presentsBefore;
        if (isPresent(calls[run.failingCall].method) && run.failingCall >= run.loopStartCall) {
            --run.framesAfterFailure;
        }
    }
    recorder.reset();
    return run;
}

// ---------------------------------------------------------------------------
// Places and shapes of calls

// Where each call of a clean run was made: the device wrapper's init ends with
// the four default render states after CreateDevice; the loading screen ends with
// its one Present; the effects are initialised until the loop starts; then each
// Present closes a frame.
inline std::vector<CallPlace> placesOf(const RunResult& run, std::string* error = nullptr) {
    std::vector<CallPlace> places;
    size_t deviceEnd = SIZE_MAX;
    size_t loadingEnd = SIZE_MAX;
    for (size_t i = 0; i < run.calls.size(); ++i) {
        if (deviceEnd == SIZE_MAX && run.calls[i].method == "CreateDevice") deviceEnd = i + 4;
        if (loadingEnd == SIZE_MAX && isPresent(run.calls[i].method)) loadingEnd = i;
    }
    if (error && (deviceEnd >= run.calls.size() || loadingEnd == SIZE_MAX || loadingEnd < deviceEnd)) {
        *error = "the clean run has no device creation or no loading frame";
        return places;
    }
    int frame = 0;
    for (size_t i = 0; i < run.calls.size(); ++i) {
        if (i <= deviceEnd) {
            places.push_back({Phase::Device, -1});
        } else if (i <= loadingEnd) {
            places.push_back({Phase::Loading, -1});
        } else if (i < run.loopStartCall) {
            places.push_back({Phase::EffectInit, -1});
        } else if (frame < frameCount()) {
            places.push_back({Phase::Frame, effectOfFrame(frame)});
            if (run.calls[i].method == "Present") ++frame;
        } else {
            places.push_back({Phase::ShutDown, -1});
        }
    }
    return places;
}

// The call as the engine made it: the recorded text without what the call handed
// back (" -> ..."), with every {...} group (structures, matrices) shortened to
// "{...}" and objects named by kind only ("vb7" -> "vb").
inline std::string callShape(const std::string& text) {
    const std::string call = text.substr(0, text.find(" -> "));
    std::string shape;
    int depth = 0;
    for (size_t i = 0; i < call.size(); ++i) {
        const char c = call[i];
        if (c == '{' || c == '}') {
            if (c == '{' && depth++ == 0) shape += "{...}";
            if (c == '}' && depth > 0) --depth;
            continue;
        }
        if (depth > 0) continue;
        shape += c;
        const bool wordStart = i == 0 || !std::isalnum(static_cast<unsigned char>(call[i - 1]));
        if (!wordStart) continue;
        for (const char* kind : {"d3d", "dev", "tex", "vb", "ib"}) {
            const size_t length = std::char_traits<char>::length(kind);
            if (call.compare(i, length, kind) != 0) continue;
            size_t end = i + length;
            while (end < call.size() && std::isdigit(static_cast<unsigned char>(call[end]))) ++end;
            if (end == i + length) continue;  // a kind without a number is no object name
            shape += call.substr(i + 1, length - 1);
            i = end - 1;
            break;
        }
    }
    return shape;
}

// Reference counting and type queries have no failure to report (recording.h).
inline bool canFail(const std::string& method) {
    const auto endsWith = [&](const std::string& tail) {
        return method.size() >= tail.size() && method.compare(method.size() - tail.size(), tail.size(), tail) == 0;
    };
    return !endsWith("AddRef") && !endsWith("Release") && !endsWith("GetType");
}

// ---------------------------------------------------------------------------
// What the log says about a failure

struct LoggedFailure {
    std::string level;  // "Error", "Fatal error", "Warning"; empty: none
    std::string text;
    std::string next;  // the line after it, without its indentation
};

// Strips the indentation the log writes before a line.
inline std::string withoutIndent(const std::string& line) {
    std::string rest = line;
    while (rest.compare(0, 12, "&nbsp;&nbsp;") == 0) rest.erase(0, 12);
    return rest;
}

// The log's lines: everything between "<br>" marks (the log has no line breaks
// of its own except inside the date).
inline std::vector<std::string> logLines(const std::string& log) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at; (at = log.find("<br>", from)) != std::string::npos; from = at + 4) {
        lines.push_back(log.substr(from, at - from));
    }
    lines.push_back(log.substr(from));
    return lines;
}

// Every failure the log reports, in order.
inline std::vector<LoggedFailure> loggedFailures(const std::string& log) {
    std::vector<LoggedFailure> found;
    const std::vector<std::string> lines = logLines(log);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = withoutIndent(lines[i]);
        for (const char* level : {"Error", "Fatal error", "Warning"}) {
            const std::string mark = std::string("<u>") + level + ":</u> ";
            if (line.compare(0, mark.size(), mark) == 0) {
                const std::string next = i + 1 < lines.size() ? withoutIndent(lines[i + 1]) : "";
                found.push_back({level, line.substr(mark.size()), next});
            }
        }
    }
    return found;
}

// ---------------------------------------------------------------------------
// Discovery

struct Site {
    CallPlace place;
    std::string method;
    std::string shape;      // callShape of the first occurrence
    std::string before;     // callShape of the call made just before it
    int nth = 0;            // that occurrence's number among the run's calls of the method
    LoggedFailure failure;  // what the log received when it failed once
    std::string describe() const {
        return place.describe() + ": " + shape + " after " + before + " (call #" +
               std::to_string(nth) + " of " + method + ")";
    }
};

// A 2 x 2 24-bit BMP: the loader picks the decoder by content, not by name, so it
// stands in for every picture the demo names.
inline void writeTinyBmp(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    const uint8_t bytes[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header: size 70, pixels at 54
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
        0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 2 x 2, 24 bits, uncompressed
        0x20, 0x40, 0x80, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom row (padded to 4 bytes)
        0x80, 0x40, 0x20, 0x00, 0x00, 0x00, 0, 0,  // top row
    };
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// The file name in "Error while loading file: '<name>'".
inline std::string fileOfLoadError(const std::string& text) {
    const std::string mark = "Error while loading file: '";
    if (text.compare(0, mark.size(), mark) != 0 || text.back() != '\'') return "";
    return text.substr(mark.size(), text.size() - mark.size() - 1);
}

// Gives the demo every picture it asks for: a run without any reports each
// missing one, and a tiny picture is written in its place. Returns the names.
inline std::vector<std::string> providePictures() {
    std::vector<std::string> files;
    for (const LoggedFailure& failure : loggedFailures(runDemoOnce({}).log)) {
        const std::string file = fileOfLoadError(failure.text);
        if (file.empty()) continue;
        files.push_back(file);
        writeTinyBmp(crt::hostPath(file));
    }
    return files;
}

struct Discovery {
    RunResult baseline;
    std::vector<Site> checked;
    std::vector<Site> unchecked;  // failable, made to fail, nothing logged
    std::string error;            // set when discovery itself could not be done
};

// Finds the checked call sites at `place`: runs the demo cleanly, then makes the
// first occurrence of every distinct call there fail once (answering Yes) and
// keeps those whose failure the log reports. Besides place, method and shape, a
// call is told apart by the shape of the call made just before it, so the same
// call made by different code counts as different sites (the screen-space state
// switches lighting off unchecked; the last light's end does so checked).
inline Discovery discover(const CallPlace& place) {
    Discovery found;
    found.baseline = runDemoOnce({});
    const RunResult& base = found.baseline;
    if (!base.boxes.empty() || base.exitCode != 0 || base.framesDrawn != frameCount()) {
        found.error = "the clean run is not clean: " + std::to_string(base.boxes.size()) +
                      " boxes, exit " + std::to_string(base.exitCode) + ", " +
                      std::to_string(base.framesDrawn) + " frames";
        return found;
    }
    const std::vector<CallPlace> places = placesOf(base, &found.error);
    if (!found.error.empty()) return found;

    std::map<std::string, int> seenOfMethod;
    std::set<std::tuple<std::string, std::string, std::string>> probed;
    for (size_t i = 0; i < base.calls.size(); ++i) {
        const RecordedCall& call = base.calls[i];
        const int nth = ++seenOfMethod[call.method];
        if (!canFail(call.method) || places[i].phase != place.phase || places[i].effect != place.effect) {
            continue;
        }
        const std::string before = i > 0 ? callShape(base.calls[i - 1].text) : "";
        Site site{places[i], call.method, callShape(call.text), before, nth, {}};
        if (!probed.insert({site.method, site.shape, site.before}).second) continue;

        const Failure once{site.method, site.nth, kFailure, false};
        RunOptions options;
        options.failure = &once;
        options.stopSoonAfterFailure = true;
        const std::vector<LoggedFailure> failures = loggedFailures(runDemoOnce(options).log);
        if (failures.empty()) {
            found.unchecked.push_back(site);
        } else {
            site.failure = failures.front();
            found.checked.push_back(site);
        }
    }
    return found;
}

}  // namespace fault_sweep
