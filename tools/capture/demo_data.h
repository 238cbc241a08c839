// The demo's files for a tool that runs it: the generated pictures and music
// below a data directory, and a working directory of the tool's own in which the
// demo finds them, a display configuration with the size the tool wants, and a
// place for its log.
#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

namespace capture {

// Makes sure `dataRoot`/Data holds every picture and the music the demo reads,
// generating the missing ones as the data generator does (the same bytes). The
// directory `dataRoot`/Data itself must exist: that is how the tool knows it was
// pointed at the demo's data and not at an unrelated directory. `progress`, when
// given, is told when something has to be generated.
bool ensureDemoData(const std::filesystem::path& dataRoot, std::ostream* progress, std::string* error);

// A fresh directory below the system's temporary directory:
//   Data/Config/direct3d.cfg   width and height as asked, in a window
//   Data/Textures, Data/Music  links to `dataRoot`/Data/...
//   Data/Logs                  the demo's log of this run
// Removed with everything in it on destruction, unless keep() was called.
class DemoWorkDir {
public:
    static std::unique_ptr<DemoWorkDir> create(const std::filesystem::path& dataRoot, int width,
                                               int height, std::string* error);
    ~DemoWorkDir();
    DemoWorkDir(const DemoWorkDir&) = delete;
    DemoWorkDir& operator=(const DemoWorkDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Leaves the directory in place (for its log) when this object goes.
    void keep() { keep_ = true; }
    // The demo's log of this run, or an empty path before it has written one.
    std::filesystem::path logFile() const;

private:
    explicit DemoWorkDir(std::filesystem::path path) : path_(std::move(path)) {}

    std::filesystem::path path_;
    bool keep_ = false;
};

// Makes `directory` the working directory until this object goes, then returns
// to the previous one.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& directory);
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;
    bool entered() const { return entered_; }
    const std::filesystem::path& previous() const { return previous_; }

private:
    std::filesystem::path previous_;
    bool entered_ = false;
};

}  // namespace capture
