#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "d3d.h"
#include "d3d8_backend.h"
#include "message_box_hooks.h"
#include "recording/recording.h"
#include "windows.h"

namespace fuzz {
namespace {

std::filesystem::path& workDirectory() {
    static std::filesystem::path directory;
    return directory;
}

void removeWorkDirectory() {
    std::error_code ignored;
    if (!workDirectory().empty()) std::filesystem::remove_all(workDirectory(), ignored);
}

// Where the private directory goes: memory-backed storage when there is some.
// Every input rewrites a file, and a disk file system may write a file that was
// emptied and refilled through to the disk when it is closed (ext4 does), which
// would make the disk the fuzzer's bottleneck.
std::filesystem::path privateDirectoryBase() {
    if (const char* chosen = std::getenv("FUZZ_TMPDIR")) return chosen;
    if (access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

HWND makeWindow() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FuzzWindow";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "FuzzWindow", "fuzz", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) fail("no window on SDL's dummy video driver");
    return window;
}

}  // namespace

void setUpQuietProcess(const char* targetName) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    win32::setMessageBoxAnswerer([](HWND, const char*, const char*, UINT type) {
        switch (type & MB_TYPEMASK) {
            case MB_OK: return IDOK;
            case MB_YESNO: return IDNO;
            default: return IDCANCEL;
        }
    });

    const std::filesystem::path base = privateDirectoryBase();
    std::string pattern = (base / (std::string(targetName) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) fail("cannot make a private temporary directory");
    workDirectory() = pattern;
    std::atexit(removeWorkDirectory);
}

std::string privatePath(const std::string& name) { return (workDirectory() / name).string(); }

const char* inputPath() {
    static const std::string path = privatePath("input");
    return path.c_str();
}

void writeInput(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(inputPath(), "wb");
    if (!file) fail("cannot write the input file");
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) fail("cannot write the input file");
}

void* deviceWindow() {
    static HWND window = makeWindow();
    return window;
}

cD3D& recordingDevice() {
    // Made once and never destroyed: it stays reachable, so leak checks at exit
    // see nothing, and no destructor runs after the fuzzer's last input.
    static cD3D* d3d = [] {
        d3d8::selectBackend(d3d8::Backend::Recording);
        d3d8::recording::recorder().setQuiet(true);
        HWND window = static_cast<HWND>(deviceWindow());
        auto* device = new cD3D;
        cD3DConfig noSettings;
        device->setDisplayMode(640, 480, 60);
        if (FAILED(device->init(window, nullptr, &noSettings))) fail("no recording device");
        return device;
    }();
    return *d3d;
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz
