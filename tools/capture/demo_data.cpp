#include "demo_data.h"

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include "datagen.h"
#include "music.h"

namespace capture {

namespace fs = std::filesystem;

namespace {

// What the demo reads below Data/: the generator's pictures and the music (the
// generator's test model sits outside Data/ and is not needed).
std::vector<datagen::OutputFile> demoFiles() {
    std::vector<datagen::OutputFile> files;
    for (datagen::OutputFile& file : datagen::dataFiles()) {
        if (file.relativePath.rfind("Data/", 0) == 0) files.push_back(std::move(file));
    }
    files.push_back({"Data/Music/onehitw.xm", datagen::writeMusic});
    return files;
}

bool everyFilePresent(const fs::path& root, const std::vector<datagen::OutputFile>& files) {
    std::error_code status;
    for (const datagen::OutputFile& file : files) {
        if (!fs::is_regular_file(root / file.relativePath, status)) return false;
    }
    return true;
}

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

}  // namespace

bool ensureDemoData(const fs::path& dataRoot, std::ostream* progress, std::string* error) {
    std::error_code status;
    if (!fs::is_directory(dataRoot / "Data", status)) {
        *error = "no Data directory in '" + dataRoot.string() +
                 "': run from the directory that holds the demo's Data/ (the repository) or pass --data DIR";
        return false;
    }
    const std::vector<datagen::OutputFile> files = demoFiles();
    if (everyFilePresent(dataRoot, files)) return true;

    if (progress) *progress << "generating the demo's missing pictures and music in " << (dataRoot / "Data").string() << '\n';
    datagen::WriteOptions options;
    options.onlyMissing = true;
    std::string reason;
    if (!datagen::writeFiles(dataRoot.string(), files, options, &reason)) {
        *error = "cannot generate the demo's data: " + reason;
        return false;
    }
    return true;
}

std::unique_ptr<DemoWorkDir> DemoWorkDir::create(const fs::path& dataRoot, int width, int height,
                                                 std::string* error) {
    std::error_code status;
    const fs::path data = fs::absolute(dataRoot, status) / "Data";
    std::string pattern = (fs::temp_directory_path(status) / "demo-run-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        *error = "cannot create a working directory in " + fs::temp_directory_path(status).string();
        return nullptr;
    }
    std::unique_ptr<DemoWorkDir> dir(new DemoWorkDir(pattern));
    const fs::path config = dir->path_ / "Data" / "Config";
    fs::create_directories(config, status);
    if (!status) fs::create_directories(dir->path_ / "Data" / "Logs", status);
    if (!status) fs::create_directory_symlink(data / "Textures", dir->path_ / "Data" / "Textures", status);
    if (!status) fs::create_directory_symlink(data / "Music", dir->path_ / "Data" / "Music", status);
    if (status) {
        *error = "cannot prepare the working directory " + dir->path_.string() + ": " + status.message();
        return nullptr;
    }
    // The demo reads its display size from here; a window, so no display mode changes.
    const std::string text = "//Zorbin Engine: Direct3D Config file\nreswidth " + std::to_string(width) +
                             "\nresheight " + std::to_string(height) + "\nfullscreen 0\n";
    if (!writeText(config / "direct3d.cfg", text)) {
        *error = "cannot write " + (config / "direct3d.cfg").string();
        return nullptr;
    }
    return dir;
}

DemoWorkDir::~DemoWorkDir() {
    if (keep_) return;
    std::error_code status;
    fs::remove_all(path_, status);  // the links go, not what they point at
}

fs::path DemoWorkDir::logFile() const {
    std::error_code status;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_ / "Data" / "Logs", status)) {
        if (entry.path().extension() == ".html") return entry.path();
    }
    return {};
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const fs::path& directory) {
    std::error_code status;
    previous_ = fs::current_path(status);
    if (status) return;
    fs::current_path(directory, status);
    entered_ = !status;
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    if (!entered_) return;
    std::error_code status;
    fs::current_path(previous_, status);
}

}  // namespace capture
