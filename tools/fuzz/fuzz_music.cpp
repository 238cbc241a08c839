// Fuzz target: music modules, through FMUSIC_LoadSong as the demo loads its
// song (the sound system started with the audio device suppressed). A module
// that loads is played and freed, and a little of it is rendered the way the
// audio callback renders a playing song: libopenmpt, looping forever, 16-bit
// stereo at the demo's 44100 Hz.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <libopenmpt/libopenmpt.hpp>
#include <sstream>

#include "fmod.h"
#include "fuzz_support.h"
#include "sound_hooks.h"

namespace {

constexpr int kRate = 44100;
constexpr size_t kRenderedFrames = 4096;  // about 93 ms, two of the callback's buffers

void renderALittle(const uint8_t* data, size_t size) {
    static int16_t buffer[kRenderedFrames * 2];
    try {
        std::ostringstream remarks;
        openmpt::module module(data, size, remarks);
        module.set_repeat_count(-1);
        module.read_interleaved_stereo(kRate, kRenderedFrames, buffer);
    } catch (const std::exception&) {
        // The callback plays silence when rendering throws.
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpQuietProcess("fuzz_music");
    sound::setDeviceSuppressed(true);
    if (!FSOUND_Init(kRate, 32, 0)) fuzz::fail("the sound system did not start");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::writeInput(data, size);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(fuzz::inputPath());
    if (!song) return 0;
    if (!FMUSIC_PlaySong(song)) fuzz::fail("a loaded song did not play");
    renderALittle(data, size);
    if (!FMUSIC_FreeSong(song)) fuzz::fail("a loaded song could not be freed");
    return 0;
}
