// The audio output over SDL2 audio: SDL's audio thread pulls sound through a
// callback.
//
// Without a sound card or server the audio libraries under SDL (ALSA above all)
// print their internal errors by the dozen while SDL probes them. The probe runs
// with stderr silenced, and a failure is told in one line of our own instead.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "sound_output.h"

namespace {

constexpr Uint16 kBufferFrames = 2048;  // about 46 ms at 44100 Hz
constexpr int kFrameBytes = 2 * static_cast<int>(sizeof(int16_t));

SDL_AudioDeviceID g_device = 0;
sound::output::FillFunction g_fill = nullptr;

void SDLCALL pull(void*, Uint8* stream, int length) {
    g_fill(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(length / kFrameBytes));
}

// Points stderr at /dev/null until it goes.
class SilencedStderr {
public:
    SilencedStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~SilencedStderr() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    SilencedStderr(const SilencedStderr&) = delete;
    SilencedStderr& operator=(const SilencedStderr&) = delete;

private:
    int saved_ = -1;
};

// Opens the device, or says in one line why there is no music.
SDL_AudioDeviceID openQuietly(const SDL_AudioSpec& wanted) {
    SDL_AudioDeviceID device = 0;
    std::string driver;
    std::string reason;
    {
        SilencedStderr silenced;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            driver = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
            // No allowed changes: SDL converts to whatever the hardware takes, so
            // the module is always rendered at the rate asked for.
            device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
            if (device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        if (device == 0) reason = SDL_GetError();
    }
    if (device == 0) {
        const char* chosen = SDL_getenv("SDL_AUDIODRIVER");
        if (driver.empty()) driver = chosen && *chosen ? chosen : "any of SDL's drivers";
        std::fprintf(stderr, "No sound: no audio device could be opened (tried %s: %s); the music is silent.\n",
                     driver.c_str(), reason.c_str());
    }
    return device;
}

}  // namespace

namespace sound::output {

bool open(int rate, FillFunction fill) {
    close();
    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kBufferFrames;
    wanted.callback = pull;
    g_fill = fill;
    g_device = openQuietly(wanted);
    if (g_device == 0) return false;
    SDL_PauseAudioDevice(g_device, 0);  // silence until a song plays
    return true;
}

void close() {
    if (g_device == 0) return;
    SDL_CloseAudioDevice(g_device);  // returns once the callback has stopped
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_device = 0;
}

}  // namespace sound::output
