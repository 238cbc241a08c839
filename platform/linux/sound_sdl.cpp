// The audio output over SDL2 audio: SDL's audio thread pulls sound through a
// callback.
#include <SDL.h>

#include "sound_output.h"

namespace {

constexpr Uint16 kBufferFrames = 2048;  // about 46 ms at 44100 Hz
constexpr int kFrameBytes = 2 * static_cast<int>(sizeof(int16_t));

SDL_AudioDeviceID g_device = 0;
sound::output::FillFunction g_fill = nullptr;

void SDLCALL pull(void*, Uint8* stream, int length) {
    g_fill(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(length / kFrameBytes));
}

}  // namespace

namespace sound::output {

bool open(int rate, FillFunction fill) {
    close();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kBufferFrames;
    wanted.callback = pull;
    g_fill = fill;
    // No allowed changes: SDL converts to whatever the hardware takes, so the
    // module is always rendered at the rate asked for.
    g_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (g_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
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
