// effect_fps: frames a second of each of the demo's effects on the port's real
// device, the same measure for every build, so that they can be set side by
// side (tools/windows/bench_peer.sh runs the Linux and the Windows build).
//
//   effect_fps [--runs N] [--data DIR]
//
// Each effect draws the first 6 s of its time at 60 frames a second (360
// frames, as the demo draws them), unpaced, at 640 x 480. Every frame is read
// back through the present observer, which makes each build finish its frame
// (glReadPixels; a copy of the back buffer to system memory on Direct3D 8).
// Prints one line per effect: its name, a tab, the median of N runs (default 5).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "crt.h"
#include "device_hooks.h"
#include "effect_bench.h"
#include "message_box_hooks.h"
#include "present_hooks.h"
#include "run_directory.h"
#include "sound_hooks.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kFps = 60;
constexpr uint32_t kSpanMs = 6000;
constexpr std::time_t kCalendarTime = 1262304000;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "effect_fps: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::filesystem::path data = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--data" && i + 1 < argc) {
            data = argv[++i];
        } else {
            std::fprintf(stderr, "usage: effect_fps [--runs N] [--data DIR]\n");
            return 2;
        }
    }
    if (runs < 1 || runs > 100) return fail("--runs takes 1 to 100");

    std::error_code status;
    const std::filesystem::path scratch = std::filesystem::temp_directory_path(status) / "effect_fps";
    session::RunDirectory run;
    std::string error;
    if (!run.create(std::filesystem::absolute(data, status), scratch, kWidth, kHeight, &error)) return fail(error);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(run.path());

    // Unwatched, silent, unpaced, and the same random numbers on every run.
    d3d8::useOffscreenDevice();
    d3d8::setPresentPacing(false);
    d3d8::setPresentObserver([](const d3d8::FrameView&) {});
    sound::setDeviceSuppressed(true);
    crt::setCalendarSource([] { return kCalendarTime; });
    win32::setMessageBoxAnswerer([](HWND, const char* text, const char* caption, UINT type) {
        std::fprintf(stderr, "effect_fps: message box \"%s\": %s\n", caption, text);
        return win32::messageBoxClosedAnswer(type);
    });

    std::vector<std::vector<double>> fps(6);
    {
        bench::EffectBench stage;
        if (!stage.open(kWidth, kHeight, &error)) return fail(error);
        for (size_t e = 0; e < stage.effects().size(); ++e) {
            for (int r = 0; r < runs; ++r) {
                uint64_t frames = 0;
                const auto start = std::chrono::steady_clock::now();
                bench::playSpan(*stage.effects()[e], kFps, kSpanMs, [&](uint64_t) { ++frames; });
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                fps[e].push_back(static_cast<double>(frames) / took.count());
            }
        }
    }
    for (size_t e = 0; e < fps.size(); ++e) std::printf("%s\t%.1f\n", bench::kEffectNames[e], median(fps[e]));
    d3d8::setPresentObserver(nullptr);
    std::filesystem::current_path(previous, status);  // so that the run directory can go
    return 0;
}
