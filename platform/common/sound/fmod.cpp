// FSOUND/FMUSIC over libopenmpt, played through the port's audio output.
//
// One sound system per process, as in the original API. The output pulls sound
// on a thread of its own and reads the playing module there, so the main thread
// changes which module plays (or frees it) only while it holds the mixing lock.
#include "fmod.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "crt.h"
#include "sound_hooks.h"
#include "sound_output.h"

struct FMUSIC_MODULE {
    std::string path;  // host path, for the start observer
    std::unique_ptr<openmpt::module> module;
};

namespace {

constexpr signed char kTrue = 1;
constexpr signed char kFalse = 0;
constexpr int kLowestRate = 8000;      // the range libopenmpt renders
constexpr int kHighestRate = 192000;
constexpr size_t kFrameSamples = 2;  // interleaved stereo

struct SoundSystem {
    bool running = false;
    bool outputOpen = false;  // false while running without a device (suppressed)
    int rate = 0;
    FMUSIC_MODULE* playing = nullptr;  // read by the output's thread; changed under g_mixing
};

SoundSystem g_sound;
std::mutex g_mixing;
sound::StartObserver g_startObserver;
bool g_deviceSuppressed = false;

// The output's thread: fills `buffer` with the playing module, or silence.
void mix(int16_t* buffer, size_t frames) {
    size_t rendered = 0;
    std::lock_guard<std::mutex> lock(g_mixing);
    if (g_sound.playing) {
        try {
            rendered = g_sound.playing->module->read_interleaved_stereo(g_sound.rate, frames, buffer);
        } catch (const std::exception&) {
            rendered = 0;  // nothing may escape into the output's thread; play silence instead
        }
    }
    std::memset(buffer + rendered * kFrameSamples, 0, (frames - rendered) * kFrameSamples * sizeof(int16_t));
}

// Runs `change` while the output's thread cannot mix.
template <typename Change>
void withMixingLocked(Change change) {
    std::lock_guard<std::mutex> lock(g_mixing);
    change();
}

// The whole file, read with stdio (a directory or an unreadable file is simply a failure).
bool readFile(const std::string& path, std::vector<char>* bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed && !bytes->empty();
}

}  // namespace

namespace sound {

void setStartObserver(StartObserver observer) { g_startObserver = std::move(observer); }

void setDeviceSuppressed(bool suppressed) { g_deviceSuppressed = suppressed; }

bool deviceSuppressed() { return g_deviceSuppressed; }

}  // namespace sound

extern "C" {

signed char FSOUND_Init(int mixrate, int /*maxsoftwarechannels*/, unsigned int /*flags*/) {
    FSOUND_Close();
    if (mixrate < kLowestRate || mixrate > kHighestRate) return kFalse;
    g_sound.rate = mixrate;  // before the output's first pull
    if (!g_deviceSuppressed) {
        if (!sound::output::open(mixrate, mix)) {
            g_sound = SoundSystem{};
            return kFalse;
        }
        g_sound.outputOpen = true;
    }
    g_sound.running = true;
    return kTrue;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
    if (!name) return nullptr;
    auto song = std::make_unique<FMUSIC_MODULE>();
    song->path = crt::hostPath(name);
    std::vector<char> bytes;
    if (!readFile(song->path, &bytes)) return nullptr;
    try {
        std::ostringstream loaderLog;  // libopenmpt's remarks on the file; not shown
        song->module = std::make_unique<openmpt::module>(bytes, loaderLog);
        song->module->set_repeat_count(-1);  // the song loops for as long as the program runs
    } catch (const std::exception&) {
        return nullptr;
    }
    return song.release();
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
    if (!mod || !g_sound.running) return kFalse;
    withMixingLocked([mod] {
        mod->module->set_position_order_row(0, 0);
        g_sound.playing = mod;
    });
    if (g_startObserver) g_startObserver(mod->path);
    return kTrue;
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE* mod) {
    if (!mod) return kFalse;
    if (g_sound.playing == mod) withMixingLocked([] { g_sound.playing = nullptr; });
    delete mod;
    return kTrue;
}

void FSOUND_Close(void) {
    if (!g_sound.running) return;
    if (g_sound.outputOpen) sound::output::close();  // returns once mixing has stopped
    g_sound = SoundSystem{};
}

}  // extern "C"
