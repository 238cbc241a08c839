#include "work_dir.h"

#include <fstream>
#include <system_error>

#include "windows.h"

namespace framedump {

namespace fs = std::filesystem;

void windowSizeFor(int width, int height, int* windowWidth, int* windowHeight) {
    // The demo's window style, as it creates its window.
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
    *windowWidth = rect.right - rect.left;
    *windowHeight = rect.bottom - rect.top;
}

bool WorkDir::create(const Options& options, std::string* error) {
    out_ = options.out;
    path_ = options.out / "run";
    std::error_code status;
    fs::remove_all(path_, status);
    const fs::path data = path_ / "Data";
    for (const char* folder : {"Textures", "Music"}) {
        const fs::path from = options.data / "Data" / folder;
        if (!fs::is_directory(from)) {
            *error = "no " + from.string() + " (run from the directory holding Data/, or give --data)";
            return false;
        }
        fs::create_directories(data / folder, status);
        if (!status) fs::copy(from, data / folder, fs::copy_options::recursive, status);
        if (status) {
            *error = "cannot copy " + from.string() + ": " + status.message();
            return false;
        }
    }
    fs::create_directories(data / "Config", status);
    int windowWidth = 0;
    int windowHeight = 0;
    windowSizeFor(options.width, options.height, &windowWidth, &windowHeight);
    std::ofstream config(data / "Config" / "direct3d.cfg", std::ios::binary | std::ios::trunc);
    config << "//Zorbin Engine: Direct3D Config file\nreswidth " << windowWidth << "\nresheight "
           << windowHeight << "\nfullscreen 0\n";
    config.close();
    if (!config) {
        *error = "cannot write " + (data / "Config" / "direct3d.cfg").string();
        return false;
    }
    return true;
}

WorkDir::~WorkDir() {
    if (path_.empty()) return;
    std::error_code status;
    for (const fs::directory_entry& log : fs::directory_iterator(path_ / "Data" / "Logs", status)) {
        fs::rename(log.path(), out_ / log.path().filename(), status);
    }
    fs::remove_all(path_, status);
}

}  // namespace framedump
