// The demo's working directory for one framedump run, made inside the output
// directory from copies, so that it works the same on every port (no links):
//   Data/Config/direct3d.cfg   a window whose client area, and so the back
//                              buffer, has the size asked for
//   Data/Textures, Data/Music  copies of the data directory's
//   Data/Logs                  the demo's log
#pragma once

#include <filesystem>
#include <string>

#include "options.h"

namespace framedump {

class WorkDir {
public:
    // False, with the reason, when the data directory lacks Data/Textures or
    // Data/Music or the copies cannot be made.
    bool create(const Options& options, std::string* error);
    // Moves the demo's log to the output directory and removes the rest.
    ~WorkDir();

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path out_;
};

// The window size whose client area is width x height, as direct3d.cfg must name it.
void windowSizeFor(int width, int height, int* windowWidth, int* windowHeight);

}  // namespace framedump
