// bench: how fast the demo runs, effect by effect.
//
//   bench [--runs N] [--json PATH] [--data DIR] [--only startup|gl|cpu|ceiling]
//
// For each of the six effects, over the same span of its local time (the first
// 6 s, at 60 frames a second: 360 frames, as the demo would draw them):
//   GL fps         frames a second on the OpenGL device (offscreen, 640 x 480),
//                  each frame finished with glFinish, so the GPU work counts
//   CPU us/frame   the engine's own work per frame: the same frames on the
//                  recording device, in its quiet mode (state kept, no call
//                  texts), in CPU time of this thread
//   allocs/frame   operator new calls per frame on the OpenGL device, after the
//                  first second (the steady state)
//   ceiling fps    the same frames replayed through a minimal OpenGL 3.3 path
//                  (ceiling.h): the most this renderer can give for them; the
//                  ratio is GL fps over ceiling fps
// and the start-up time: from starting the program to its first frame of the
// render loop presented, the real cVelmorDemo::run in a fresh process each
// time. Every figure is the median of N runs (default 5). The table goes to
// stdout; --json writes the same figures, with every run, to a file.
#include <epoxy/gl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ceiling.h"
#include "counting_new.h"
#include "crt.h"
#include "d3d.h"
#include "d3d8_backend.h"
#include "demo_data.h"
#include "demo_session.h"
#include "effect_bench.h"
#include "frame_timing.h"
#include "log.h"
#include "device_hooks.h"
#include "message_box_hooks.h"
#include "recording/recording.h"
#include "sound_hooks.h"
#include "velmordemo.h"
#include "windows.h"

extern char** environ;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kFps = 60;
constexpr uint32_t kSpanMs = 6000;  // as long as the shortest effect runs in the demo
constexpr uint32_t kWarmUpFrames = kFps;
constexpr std::time_t kCalendarTime = 1262304000;
const char kStartupProbe[] = "--startup-probe";
// The probe's exit code when the port has said why no device could be made,
// and the start-up time that stands for it: the probe's line is all there is to say.
constexpr int kProbeFailureExplained = 3;
constexpr double kStartupExplained = -2;

struct EffectFigures {
    std::string name;
    std::vector<double> glFps;
    std::vector<double> cpuMicroseconds;
    std::vector<double> ceilingFps;
    uint64_t steadyAllocations = 0;
    uint64_t steadyFrames = 0;
};

struct Results {
    std::vector<EffectFigures> effects;
    std::vector<double> startupMs;
    std::string renderer;
    int runs = 0;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

uint64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

bool measureOpenGl(Results& results, std::string* error) {
    d3d8::selectBackend(d3d8::Backend::OpenGL);
    d3d8::setPresentPacing(false);
    bench::EffectBench stage;
    if (!stage.open(kWidth, kHeight, error)) return false;
    if (const GLubyte* renderer = glGetString(GL_RENDERER)) results.renderer = reinterpret_cast<const char*>(renderer);
    for (size_t e = 0; e < stage.effects().size(); ++e) {
        EffectFigures& figures = results.effects[e];
        for (int run = 0; run < results.runs; ++run) {
            uint64_t frames = 0;
            const auto start = std::chrono::steady_clock::now();
            bench::playSpan(*stage.effects()[e], kFps, kSpanMs, [&](uint64_t k) {
                glFinish();
                ++frames;
                // Allocations are counted from the second second on.
                if (k + 1 == kWarmUpFrames) counting_new::enabled = true;
                if (k >= kWarmUpFrames) ++figures.steadyFrames;
            });
            counting_new::enabled = false;
            figures.glFps.push_back(static_cast<double>(frames) / seconds(std::chrono::steady_clock::now() - start));
        }
        figures.steadyAllocations = static_cast<uint64_t>(counting_new::allocations.exchange(0));
    }
    return true;
}

bool measureEngineCpu(Results& results, std::string* error) {
    d3d8::selectBackend(d3d8::Backend::Recording);
    d3d8::recording::recorder().setQuiet(true);
    bench::EffectBench stage;
    if (!stage.open(kWidth, kHeight, error)) return false;
    for (size_t e = 0; e < stage.effects().size(); ++e) {
        for (int run = 0; run < results.runs; ++run) {
            uint64_t frames = 0;
            const double start = threadCpuSeconds();
            bench::playSpan(*stage.effects()[e], kFps, kSpanMs, [&](uint64_t) { ++frames; });
            results.effects[e].cpuMicroseconds.push_back((threadCpuSeconds() - start) * 1e6 /
                                                         static_cast<double>(frames));
        }
    }
    d3d8::recording::recorder().setQuiet(false);
    return true;
}

bool measureCeiling(Results& results, std::string* error) {
    d3d8::selectBackend(d3d8::Backend::Recording);
    d3d8::recording::recorder().setQuiet(true);
    bench::EffectBench stage;
    bench::ceiling::Replayer replayer;
    bool ok = stage.open(kWidth, kHeight, error) && replayer.open(kWidth, kHeight, error);
    for (size_t e = 0; ok && e < stage.effects().size(); ++e) {
        const bench::ceiling::Recording recording = bench::ceiling::record(*stage.effects()[e], kFps, kSpanMs);
        for (int run = 0; run < results.runs; ++run) {
            results.effects[e].ceilingFps.push_back(replayer.framesPerSecond(recording));
        }
    }
    d3d8::recording::recorder().setQuiet(false);
    return ok;
}

// In the probe process: the real demo up to its first frame, then the time.
class FirstFrameListener final : public session::SessionListener {
public:
    bool onFrame(uint64_t, const d3d8::FrameView&) override {
        at = monotonicNanoseconds();
        return false;
    }
    void onMusicStart(uint64_t, const std::string&) override {}
    void onMessageBox(const std::string& caption, const std::string& text, const char*) override {
        if (d3d8::deviceFailureExplained()) return;  // the port's line says it
        std::cerr << "bench: the demo showed a message box \"" << caption << "\": " << text << '\n';
    }
    uint64_t at = 0;
};

int runStartupProbe() {
    FirstFrameListener listener;
    session::runDemoSession({kFps, 1, kCalendarTime}, listener);
    if (listener.at == 0) return d3d8::deviceFailureExplained() ? kProbeFailureExplained : 1;
    std::printf("%llu\n", static_cast<unsigned long long>(listener.at));
    return 0;
}

// Starts this program as a probe in the working directory and returns the time
// from just before it started to its first frame, in ms; negative on failure.
double measureOneStartup() {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char self[] = "/proc/self/exe";
    char probe[sizeof kStartupProbe];
    std::memcpy(probe, kStartupProbe, sizeof kStartupProbe);
    char* argv[] = {self, probe, nullptr};
    pid_t pid = 0;
    const uint64_t start = monotonicNanoseconds();
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[64];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(got));
    close(out[0]);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const unsigned long long firstFrame = std::strtoull(text.c_str(), nullptr, 10);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kProbeFailureExplained) return kStartupExplained;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || firstFrame <= start) return -1;
    return static_cast<double>(firstFrame - start) / 1e6;
}

bool measureStartup(Results& results, std::string* error) {
    for (int run = 0; run < results.runs; ++run) {
        const double ms = measureOneStartup();
        if (ms == kStartupExplained) return false;  // error left empty: the probe said why
        if (ms < 0) {
            *error = "the start-up probe failed";
            return false;
        }
        results.startupMs.push_back(ms);
    }
    return true;
}

double ratio(const EffectFigures& e) {
    const double ceiling = median(e.ceilingFps);
    return ceiling > 0 ? median(e.glFps) / ceiling : 0;
}

void printTable(const Results& results, std::ostream& out) {
    char line[160];
    std::snprintf(line, sizeof line, "%-16s %10s %12s %8s %16s %14s\n", "effect", "GL fps", "ceiling fps", "ratio",
                  "CPU us/frame", "allocs/frame");
    out << line;
    for (const EffectFigures& e : results.effects) {
        const double allocations =
            e.steadyFrames ? static_cast<double>(e.steadyAllocations) / static_cast<double>(e.steadyFrames) : 0;
        std::snprintf(line, sizeof line, "%-16s %10.1f %12.1f %8.2f %16.1f %14.2f\n", e.name.c_str(),
                      median(e.glFps), median(e.ceilingFps), ratio(e), median(e.cpuMicroseconds), allocations);
        out << line;
    }
    std::snprintf(line, sizeof line, "start-up to first frame: %.0f ms\n", median(results.startupMs));
    out << line;
    out << "medians of " << results.runs << " runs; " << kWidth << "x" << kHeight << ", the first " << kSpanMs / 1000
        << " s of each effect at " << kFps << " fps; renderer: " << results.renderer << '\n';
}

std::string jsonNumbers(const std::vector<double>& values) {
    std::ostringstream text;
    text << '[';
    for (size_t i = 0; i < values.size(); ++i) text << (i ? ", " : "") << values[i];
    return text.str() + ']';
}

std::string jsonString(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out + '"';
}

bool writeJson(const Results& results, const std::string& path) {
    std::ofstream file(path, std::ios::trunc);
    file << "{\n  \"settings\": {\"width\": " << kWidth << ", \"height\": " << kHeight << ", \"fps\": " << kFps
         << ", \"span_ms\": " << kSpanMs << ", \"runs\": " << results.runs
         << ", \"renderer\": " << jsonString(results.renderer) << "},\n  \"effects\": [\n";
    for (size_t i = 0; i < results.effects.size(); ++i) {
        const EffectFigures& e = results.effects[i];
        const double allocations =
            e.steadyFrames ? static_cast<double>(e.steadyAllocations) / static_cast<double>(e.steadyFrames) : 0;
        file << "    {\"name\": " << jsonString(e.name) << ", \"gl_fps\": " << median(e.glFps)
             << ", \"gl_fps_runs\": " << jsonNumbers(e.glFps) << ", \"ceiling_fps\": " << median(e.ceilingFps)
             << ", \"ceiling_fps_runs\": " << jsonNumbers(e.ceilingFps) << ", \"ratio\": " << ratio(e)
             << ", \"cpu_us_per_frame\": " << median(e.cpuMicroseconds)
             << ", \"cpu_us_per_frame_runs\": " << jsonNumbers(e.cpuMicroseconds)
             << ", \"allocations_per_frame\": " << allocations << "}" << (i + 1 < results.effects.size() ? "," : "")
             << '\n';
    }
    file << "  ],\n  \"startup_ms\": " << median(results.startupMs)
         << ",\n  \"startup_ms_runs\": " << jsonNumbers(results.startupMs) << "\n}\n";
    file.close();
    return static_cast<bool>(file);
}

void usage(std::ostream& out) {
    out << "usage: bench [--runs N] [--json PATH] [--data DIR]\n"
           "  --runs N     runs of every measurement; the medians are shown (default 5)\n"
           "  --json PATH  also write the figures, with every run, as JSON\n"
           "  --data DIR   the directory holding the demo's Data/ (default: the current one)\n"
           "  --only PART  measure one part alone: startup, gl, cpu or ceiling (for profiling)\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], kStartupProbe) == 0) return runStartupProbe();

    Results results;
    results.runs = 5;
    std::string jsonPath;
    std::string dataDir = ".";
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-h" || arg == "--help") {
            usage(std::cout);
            return 0;
        } else if (arg == "--runs" && hasValue) {
            results.runs = std::atoi(argv[++i]);
            if (results.runs < 1 || results.runs > 100) {
                std::cerr << "bench: --runs takes 1 to 100\n";
                return 2;
            }
        } else if (arg == "--json" && hasValue) {
            jsonPath = argv[++i];
        } else if (arg == "--data" && hasValue) {
            dataDir = argv[++i];
        } else if (arg == "--only" && hasValue && (std::strcmp(argv[i + 1], "startup") == 0 ||
                                                   std::strcmp(argv[i + 1], "gl") == 0 ||
                                                   std::strcmp(argv[i + 1], "cpu") == 0 ||
                                                   std::strcmp(argv[i + 1], "ceiling") == 0)) {
            only = argv[++i];
        } else {
            std::cerr << "bench: bad argument '" << arg << "'\n";
            usage(std::cerr);
            return 2;
        }
    }

    std::string error;
    if (!capture::ensureDemoData(dataDir, &std::cerr, &error)) {
        std::cerr << "bench: " << error << '\n';
        return 1;
    }
    auto workDir = capture::DemoWorkDir::create(dataDir, kWidth, kHeight, &error);
    if (!workDir) {
        std::cerr << "bench: " << error << '\n';
        return 1;
    }
    capture::ScopedWorkingDirectory inWorkDir(workDir->path());

    // Offscreen, silent, unpaced, and the same random numbers on every run.
    ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
    sound::setDeviceSuppressed(true);
    crt::setCalendarSource([] { return kCalendarTime; });
    win32::setMessageBoxAnswerer([](HWND, const char* text, const char* caption, UINT type) {
        if (d3d8::deviceFailureExplained()) return win32::messageBoxClosedAnswer(type);  // the port's line says it
        std::cerr << "bench: message box \"" << caption << "\": " << text << '\n';
        return win32::messageBoxClosedAnswer(type);
    });
    for (const char* name : bench::kEffectNames) results.effects.push_back(EffectFigures{name, {}, {}, {}, 0, 0});

    const auto wanted = [&only](const char* part) { return only.empty() || only == part; };
    bool ok = true;
    if (wanted("startup")) {
        std::cerr << "bench: start-up..." << std::endl;
        ok = measureStartup(results, &error);
    }
    if (ok && wanted("gl")) {
        std::cerr << "bench: OpenGL frames..." << std::endl;
        ok = measureOpenGl(results, &error);
    }
    if (ok && wanted("cpu")) {
        std::cerr << "bench: engine CPU time..." << std::endl;
        ok = measureEngineCpu(results, &error);
    }
    if (ok && wanted("ceiling")) {
        std::cerr << "bench: the bare-GL ceiling..." << std::endl;
        ok = measureCeiling(results, &error);
    }
    // No device, and the port has said why in a line (here, or in the start-up
    // probe, whose failure leaves no error text): nothing to add or to keep.
    if (!ok && (error.empty() || d3d8::deviceFailureExplained())) return 1;
    if (!ok) {
        workDir->keep();
        std::cerr << "bench: " << error << " (working directory kept: " << workDir->path().string() << ")\n";
        return 1;
    }

    printTable(results, std::cout);
    if (!jsonPath.empty()) {
        // Relative to where bench was started, not to its working directory.
        const std::string path = jsonPath[0] == '/' ? jsonPath : (inWorkDir.previous() / jsonPath).string();
        if (!writeJson(results, path)) {
            std::cerr << "bench: cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}
