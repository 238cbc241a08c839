// The demo's music: an original module composed in the repository as pattern
// text, with instruments synthesised in code, written as an XM file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

// Writes the module to `path` (its directory must exist). False, with a reason in
// `error`, when it cannot be written.
bool writeMusic(const std::string& path, std::string* error);

// The module's bytes, as writeMusic writes them.
bool composeMusic(std::vector<uint8_t>* bytes, std::string* error);

// The song text the module is built from (song/onehitw.song, embedded at build
// time so the generator does not need the source tree).
const char* songText();

}  // namespace datagen
