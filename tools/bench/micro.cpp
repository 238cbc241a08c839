// bench_micro: Google Benchmark timings of the loops that rewrite geometry on
// the CPU every frame.
//
//   bench_micro [--data=DIR] [Google Benchmark flags, e.g. --benchmark_filter=Road]
//
//   RoadRewrite    the road's 100 x 100 grid: curve shifted, every vertex moved,
//                  normals of 19,602 triangles recomputed, the buffer uploaded
//   SheetRipple    the title sheet's 50 x 50 grid: the growing ripple and its
//                  turn, normals, upload
//   DropNoise      the big drop's 2 x 25 x 50 vertices regenerated with three
//                  random factors each, uploaded and drawn
//   Skinning       the test model: its skeleton brought to a new time and every
//                  sub-mesh's vertices moved by their joints and uploaded
//
// The device is the recording back end in its quiet mode, which keeps the state
// and the buffers but records nothing, so what is timed is the engine's work.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "d3d.h"
#include "d3d8_backend.h"
#include "datagen.h"
#include "demo_data.h"
#include "dropeffect.h"
#include "log.h"
#include "message_box_hooks.h"
#include "model.h"
#include "recording/recording.h"
#include "velmoreffect.h"
#include "windows.h"

namespace {

// The window, log and recording device every benchmark draws with.
struct Bench {
    HWND window = nullptr;
    cLog log;
    cD3D d3d;
    std::string modelFile;  // the generated test model, in the working directory
};

Bench* g_bench = nullptr;

void RoadRewrite(benchmark::State& state) {
    cRoad road;
    road.init(&g_bench->d3d);
    uint32_t ms = 0;
    for (auto _ : state) {
        road.animate(ms += 16);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * cRoad::kSide * cRoad::kSide);  // vertices
    road.release();
}
BENCHMARK(RoadRewrite)->Unit(benchmark::kMicrosecond);

void SheetRipple(benchmark::State& state) {
    cRippleSheet sheet;
    sheet.init(&g_bench->d3d);
    uint32_t ms = 0;
    for (auto _ : state) {
        ms = ms % 9984 + 16;  // the growing ripple, 16 ms a frame, never 0 or 10000
        sheet.animate(ms);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * cRippleSheet::kSide * cRippleSheet::kSide);
    sheet.release();
}
BENCHMARK(SheetRipple)->Unit(benchmark::kMicrosecond);

void DropNoise(benchmark::State& state) {
    cDropMesh drop;
    drop.m_segments = 50;  // as the drops scene's big drop
    drop.m_rings = 25;
    drop.init(&g_bench->d3d);
    for (auto _ : state) {
        drop.begin();  // regenerates and uploads the vertices, then draws
        drop.end();
    }
    state.SetItemsProcessed(state.iterations() * 2 * 50 * 25);
    drop.release();
}
BENCHMARK(DropNoise)->Unit(benchmark::kMicrosecond);

void Skinning(benchmark::State& state) {
    cModel model;
    if (!model.load(g_bench->modelFile, "") || FAILED(model.init(&g_bench->d3d)) || !model.m_skeleton) {
        state.SkipWithError("the test model did not load");
        return;
    }
    int64_t vertices = 0;
    for (const cSkinnedMesh* mesh : model.m_meshes) vertices += mesh->m_drawnVertices.m_count;
    const uint32_t length = std::max<uint32_t>(model.m_skeleton->m_totalLength, 1);
    uint32_t ms = 0;
    for (auto _ : state) {
        ms = (ms + 16) % length;
        model.m_skeleton->update(ms);
        for (cSkinnedMesh* mesh : model.m_meshes) mesh->skin();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * vertices);
    model.release();
}
BENCHMARK(Skinning)->Unit(benchmark::kMicrosecond);

// The test model and its pictures, written beside Data/ as the generator does.
bool writeTestModel(std::string* error) {
    std::vector<datagen::OutputFile> files;
    for (datagen::OutputFile& file : datagen::dataFiles()) {
        if (file.relativePath.rfind("Data/", 0) != 0) files.push_back(std::move(file));
    }
    return datagen::writeFiles(".", files, datagen::WriteOptions{}, error);
}

}  // namespace

int main(int argc, char** argv) {
    // Our own option first; Google Benchmark takes the rest.
    std::string dataDir = ".";
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--data=", 7) == 0) {
            dataDir = argv[i] + 7;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    std::string error;
    if (!capture::ensureDemoData(dataDir, &std::cerr, &error)) {
        std::cerr << "bench_micro: " << error << '\n';
        return 1;
    }
    auto workDir = capture::DemoWorkDir::create(dataDir, 640, 480, &error);
    if (!workDir) {
        std::cerr << "bench_micro: " << error << '\n';
        return 1;
    }
    capture::ScopedWorkingDirectory inWorkDir(workDir->path());
    if (!writeTestModel(&error)) {
        std::cerr << "bench_micro: " << error << '\n';
        return 1;
    }

    // No OpenGL is needed: a window of SDL's dummy driver carries the recording device.
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    win32::setMessageBoxAnswerer([](HWND, const char* text, const char* caption, UINT) {
        std::cerr << "bench_micro: message box \"" << caption << "\": " << text << '\n';
        return IDOK;
    });
    d3d8::selectBackend(d3d8::Backend::Recording);
    d3d8::recording::recorder().setQuiet(true);

    auto bench = std::make_unique<Bench>();
    bench->modelFile = "terraT.ms3d";
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "BenchMicroWindow";
    RegisterClassExA(&windowClass);
    bench->window = CreateWindowExA(0, "BenchMicroWindow", "bench", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
    bench->log.open("BenchMicro", LOGLEVEL_DEBUG, bench->window);
    bench->d3d.setDisplayMode(640, 480, 60);
    if (FAILED(bench->d3d.init(bench->window, &bench->log, nullptr))) {
        std::cerr << "bench_micro: cannot create the recording device\n";
        return 1;
    }
    g_bench = bench.get();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    g_bench = nullptr;
    bench->d3d.release();
    DestroyWindow(bench->window);
    return 0;
}
