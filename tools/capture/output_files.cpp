#include "output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace capture::files {

namespace fs = std::filesystem;

namespace {

std::string temporaryPattern(const std::string& finalPath) { return finalPath + ".partial-XXXXXX"; }

// mkstemp and mkdtemp make private names (0600, 0700); the output gets the
// permissions any new file or directory would.
mode_t withUmask(mode_t mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~mask;
}

std::string parentOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// `path` made absolute against the current working directory, so that it names
// the same place after the demo has moved into a run directory of its own.
// Unchanged when the working directory cannot be read.
std::string anchored(const std::string& path) {
    std::error_code status;
    const fs::path absolute = fs::absolute(path, status);
    return status ? path : absolute.string();
}

}  // namespace

bool createParent(const std::string& path, std::string* error) {
    const fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) return true;
    std::error_code status;
    fs::create_directories(parent, status);
    if (status) {
        *error = "cannot create the directory " + parent.string() + ": " + status.message();
        return false;
    }
    return true;
}

std::string createTemporaryFile(const std::string& finalPath, std::string* error) {
    std::string name = temporaryPattern(finalPath);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        *error = "cannot write in " + parentOf(finalPath) + ": " + std::strerror(errno);
        return {};
    }
    ::fchmod(fd, withUmask(0666));
    ::close(fd);
    return name;
}

std::string createTemporaryDirectory(const std::string& finalPath, std::string* error) {
    std::string name = temporaryPattern(finalPath);
    if (!::mkdtemp(name.data())) {
        *error = "cannot write in " + parentOf(finalPath) + ": " + std::strerror(errno);
        return {};
    }
    ::chmod(name.c_str(), withUmask(0777));
    return name;
}

bool moveIntoPlace(const std::string& temporary, const std::string& finalPath, std::string* error) {
    std::error_code status;
    if (fs::is_directory(temporary, status) && fs::is_directory(finalPath, status)) {
        // rename() only replaces an empty directory; say so plainly if it is not.
        if (!fs::is_empty(finalPath, status) || !fs::remove(finalPath, status)) {
            *error = finalPath + " is not empty any more; the capture is left in " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), finalPath.c_str()) != 0) {
        *error = "cannot rename " + temporary + " to " + finalPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void removeQuietly(const std::string& path) {
    if (path.empty()) return;
    std::error_code status;
    fs::remove_all(path, status);
}

PendingOutput::PendingOutput(const std::string& finalPath) : final_(anchored(finalPath)) {}

bool PendingOutput::createFile(std::string* error) {
    if (!createParent(final_, error)) return false;
    temporary_ = createTemporaryFile(final_, error);
    return !temporary_.empty();
}

bool PendingOutput::createDirectory(std::string* error) {
    if (!createParent(final_, error)) return false;
    temporary_ = createTemporaryDirectory(final_, error);
    return !temporary_.empty();
}

bool PendingOutput::commit(std::string* error) {
    if (!moveIntoPlace(temporary_, final_, error)) return false;
    temporary_.clear();
    return true;
}

void PendingOutput::discard() {
    removeQuietly(temporary_);
    temporary_.clear();
}

}  // namespace capture::files
