// Temporary names beside a final output, and moving a finished output into place.
// Internal to the capture outputs.
#pragma once

#include <string>

namespace capture::files {

// Creates the directories above `path` that are missing.
bool createParent(const std::string& path, std::string* error);

// A new empty file or directory named after `finalPath` with ".partial-XXXXXX"
// appended (a unique suffix), in the same directory, so the final rename stays
// on one file system. Empty on failure, with the reason.
std::string createTemporaryFile(const std::string& finalPath, std::string* error);
std::string createTemporaryDirectory(const std::string& finalPath, std::string* error);

// Renames `temporary` to `finalPath`. A file replaces a file of that name; a
// directory may replace only an empty directory.
bool moveIntoPlace(const std::string& temporary, const std::string& finalPath, std::string* error);

// Removes a file or a directory tree; quiet when it is not there.
void removeQuietly(const std::string& path);

// An output's final name and the temporary name it is written under until it
// is complete. A temporary output still there when this goes is removed. A
// relative final name is anchored when the output is named (frames are written
// while the demo runs in another directory).
class PendingOutput {
public:
    explicit PendingOutput(const std::string& finalPath);
    ~PendingOutput() { discard(); }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    const std::string& finalPath() const { return final_; }
    // Empty before create... and after commit or discard.
    const std::string& temporary() const { return temporary_; }

    // Create the missing directories above the final name, then the temporary
    // file or directory beside it.
    bool createFile(std::string* error);
    bool createDirectory(std::string* error);
    // Moves the temporary output to the final name.
    bool commit(std::string* error);
    // Removes the temporary output, if there is one.
    void discard();

private:
    std::string final_;
    std::string temporary_;
};

}  // namespace capture::files
