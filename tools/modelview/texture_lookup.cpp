#include "texture_lookup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "crt.h"

namespace modelview {
namespace {

namespace fs = std::filesystem;

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The part after the last separator of either kind: a name written on Windows
// keeps its backslashes whatever machine reads it.
std::string lastPart(const std::string& name) {
    const size_t separator = name.find_last_of("/\\");
    return separator == std::string::npos ? name : name.substr(separator + 1);
}

}  // namespace

std::string findTexture(const std::string& textureName, const std::string& modelFile) {
    std::error_code status;
    if (fs::is_regular_file(crt::hostPath(textureName), status)) return textureName;
    const std::string wanted = lastPart(textureName);
    if (wanted.empty()) return textureName;
    fs::path directory = fs::path(modelFile).parent_path();
    if (directory.empty()) directory = ".";
    // Stepped with an error code: an unreadable entry ends the search, it does not throw.
    for (fs::directory_iterator it(directory, status), end; !status && it != end; it.increment(status)) {
        if (sameIgnoringCase(it->path().filename().string(), wanted) && it->is_regular_file(status)) {
            return it->path().string();
        }
    }
    return textureName;
}

}  // namespace modelview
