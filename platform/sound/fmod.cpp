// FSOUND/FMUSIC over libopenmpt and SDL audio.
//
// One sound system per process, as in the original API. The audio device pulls
// sound through a callback on SDL's audio thread; the callback reads the playing
// module, so the main thread changes which module plays (or frees it) only while
// it holds SDL's device lock, which SDL documents as keeping the callback from
// running.
#include "fmod.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <sstream>
#include <vector>

#include "crt.h"
#include "sound_hooks.h"

struct FMUSIC_MODULE {
    std::string path;  // host path, for the start observer
    std::unique_ptr<openmpt::module> module;
};

namespace {

constexpr signed char kTrue = 1;
constexpr signed char kFalse = 0;
constexpr int kLowestRate = 8000;      // the range libopenmpt renders
constexpr int kHighestRate = 192000;
constexpr Uint16 kBufferFrames = 2048;  // about 46 ms at 44100 Hz
constexpr int kFrameBytes = 2 * static_cast<int>(sizeof(int16_t));

struct SoundSystem {
    bool running = false;
    SDL_AudioDeviceID device = 0;  // 0 while running without a device (suppressed)
    int rate = 0;
    FMUSIC_MODULE* playing = nullptr;  // read by the callback; changed under the device lock
};

SoundSystem g_sound;
sound::StartObserver g_startObserver;
bool g_deviceSuppressed = false;

// SDL's audio thread: fills `stream` with the playing module, or silence.
void SDLCALL mixCallback(void* userdata, Uint8* stream, int length) {
    auto* system = static_cast<SoundSystem*>(userdata);
    const size_t frames = static_cast<size_t>(length / kFrameBytes);
    size_t rendered = 0;
    if (system->playing) {
        try {
            rendered = system->playing->module->read_interleaved_stereo(system->rate, frames,
                                                                        reinterpret_cast<int16_t*>(stream));
        } catch (const std::exception&) {
            rendered = 0;  // nothing may escape into SDL's thread; play silence instead
        }
    }
    const size_t done = rendered * kFrameBytes;
    std::memset(stream + done, 0, static_cast<size_t>(length) - done);
}

// Runs `change` while the callback cannot run.
template <typename Change>
void withDeviceLocked(Change change) {
    if (g_sound.device) SDL_LockAudioDevice(g_sound.device);
    change();
    if (g_sound.device) SDL_UnlockAudioDevice(g_sound.device);
}

bool openDevice(int rate) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kBufferFrames;
    wanted.callback = mixCallback;
    wanted.userdata = &g_sound;
    // No allowed changes: SDL converts to whatever the hardware takes, so the
    // module is always rendered at the rate asked for.
    g_sound.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (g_sound.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(g_sound.device, 0);  // silence until a song plays
    return true;
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
    if (!g_deviceSuppressed && !openDevice(mixrate)) return kFalse;
    g_sound.rate = mixrate;
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
    withDeviceLocked([mod] {
        mod->module->set_position_order_row(0, 0);
        g_sound.playing = mod;
    });
    if (g_startObserver) g_startObserver(mod->path);
    return kTrue;
}

signed char FMUSIC_FreeSong(FMUSIC_MODULE* mod) {
    if (!mod) return kFalse;
    if (g_sound.playing == mod) withDeviceLocked([] { g_sound.playing = nullptr; });
    delete mod;
    return kTrue;
}

void FSOUND_Close(void) {
    if (!g_sound.running) return;
    if (g_sound.device) {
        SDL_CloseAudioDevice(g_sound.device);  // returns once the callback has stopped
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    g_sound = SoundSystem{};
}

}  // extern "C"
