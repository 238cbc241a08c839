// The data generator's file list and the writing of it below a directory.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace datagen {

// One file the program reads: where it goes below the output directory ('/'
// separated) and how to write it to a given path (whose directory exists).
struct OutputFile {
    std::string relativePath;
    std::function<bool(const std::string& path, std::string* error)> write;
};

// The pictures ("Data/Textures/..."), the test model "terraT.ms3d" and its
// textures, in a fixed order. The music is not in this list (main adds it), so
// the library does not depend on the music code.
std::vector<OutputFile> dataFiles();

// An output that writes `bytes` made by `produce`.
OutputFile bytesFile(std::string relativePath,
                     std::function<bool(std::vector<uint8_t>& bytes, std::string* error)> produce);

struct WriteOptions {
    bool onlyMissing = false;          // leave files that already exist as they are
    std::ostream* progress = nullptr;  // one line per file written or kept, when set
};

// Writes every file below `dir`, creating directories as needed. Each file is
// written to a temporary name beside it and renamed into place, so an
// interrupted run never leaves a half-written file that onlyMissing would keep.
// Stops at the first failure: false, with the file and the reason in `error`.
bool writeFiles(const std::string& dir, const std::vector<OutputFile>& files,
                const WriteOptions& options, std::string* error);

// Writes bytes to a file (replacing it); false with the reason on failure.
bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace datagen
