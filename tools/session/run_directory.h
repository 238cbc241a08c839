// The demo's working directory for one run by a tool, made of copies so that it
// works the same on every port (no links):
//   Data/Config/direct3d.cfg   a window whose client area, and so the back
//                              buffer, has the size asked for
//   Data/Textures, Data/Music  copies of the data directory's
//   Data/Logs                  the demo's log
#pragma once

#include <filesystem>
#include <string>

namespace session {

class RunDirectory {
public:
    // Makes `parent`/run from `dataRoot`/Data. False, with the reason, when
    // that lacks Textures or Music or the copies cannot be made.
    bool create(const std::filesystem::path& dataRoot, const std::filesystem::path& parent, int width,
                int height, std::string* error);
    // Moves the demo's logs up into the parent directory and removes the rest.
    ~RunDirectory();

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path parent_;
};

// The window size whose client area is width x height, as direct3d.cfg must name it.
void windowSizeFor(int width, int height, int* windowWidth, int* windowHeight);

}  // namespace session
