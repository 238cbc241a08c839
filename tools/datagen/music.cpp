#include "music.h"

#include <cstdio>

#include "song.h"
#include "synth.h"
#include "xm.h"

namespace datagen {
namespace {

// The song file's first and last lines make it a C++ raw string literal, so it
// is compiled in here and the build tracks it like any other included file.
const char kSongText[] =
#include "song/onehitw.song"
    ;

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

const char* songText() { return kSongText; }

bool composeMusic(std::vector<uint8_t>* bytes, std::string* error) {
    song::Song song;
    std::string why;
    if (!song::parse(kSongText, &song, &why)) return fail(error, "onehitw.song, " + why);
    for (const std::string& name : song.instruments) {
        xm::Instrument instrument;
        if (!synth::makeInstrument(name, &instrument)) return fail(error, "no synthesised instrument '" + name + "'");
        song.module.instruments.push_back(std::move(instrument));
    }
    return xm::write(song.module, bytes, error);
}

bool writeMusic(const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!composeMusic(&bytes, error)) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return fail(error, "cannot create " + path);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    bool closed = std::fclose(file) == 0;
    if (!written || !closed) return fail(error, "cannot write " + path);
    return true;
}

}  // namespace datagen
