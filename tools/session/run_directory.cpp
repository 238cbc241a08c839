#include "run_directory.h"

#include <fstream>
#include <system_error>

#include "windows.h"

namespace session {

namespace fs = std::filesystem;

void windowSizeFor(int width, int height, int* windowWidth, int* windowHeight) {
    // The demo's window style, as it creates its window.
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
    *windowWidth = rect.right - rect.left;
    *windowHeight = rect.bottom - rect.top;
}

bool RunDirectory::create(const fs::path& dataRoot, const fs::path& parent, int width, int height,
                          std::string* error) {
    parent_ = parent;
    path_ = parent / "run";
    std::error_code status;
    fs::remove_all(path_, status);
    const fs::path data = path_ / "Data";
    for (const char* folder : {"Textures", "Music"}) {
        const fs::path from = dataRoot / "Data" / folder;
        if (!fs::is_directory(from)) {
            *error = "no " + from.string() + " (run from the directory holding Data/, or give --data)";
            return false;
        }
        fs::create_directories(data, status);
        if (!status) fs::copy(from, data / folder, fs::copy_options::recursive, status);
        if (status) {
            *error = "cannot copy " + from.string() + ": " + status.message();
            return false;
        }
    }
    fs::create_directories(data / "Config", status);
    int windowWidth = 0;
    int windowHeight = 0;
    windowSizeFor(width, height, &windowWidth, &windowHeight);
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

RunDirectory::~RunDirectory() {
    if (path_.empty()) return;
    std::error_code status;
    for (const fs::directory_entry& log : fs::directory_iterator(path_ / "Data" / "Logs", status)) {
        fs::rename(log.path(), parent_ / log.path().filename(), status);
    }
    fs::remove_all(path_, status);
}

}  // namespace session
