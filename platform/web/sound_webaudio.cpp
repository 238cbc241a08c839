// The audio output on the web: a Web Audio ScriptProcessor pulls 16-bit stereo
// from the music player each time the browser wants sound, and an analyser
// after it lets the page (and its tests) measure what is played.
//
// Browsers start sound only after a gesture of the viewer: the context is made
// here, suspended if no gesture came yet, and the page resumes it on the click
// that starts the demo.
#include <emscripten.h>

#include <cstdint>
#include <vector>

#include "sound_output.h"

namespace {

constexpr int kBufferFrames = 4096;  // about 93 ms at 44100 Hz

sound::output::FillFunction g_fill = nullptr;
std::vector<int16_t> g_buffer(static_cast<size_t>(kBufferFrames) * 2);

EM_JS(int, openWebAudio, (int rate, int frames, int16_t* buffer), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    var context;
    try {
        context = new Context({sampleRate: rate});
    } catch (e) {
        return 0;
    }
    var processor = context.createScriptProcessor(frames, 0, 2);
    var analyser = context.createAnalyser();
    analyser.fftSize = 2048;
    processor.onaudioprocess = function(event) {
        var out = event.outputBuffer;
        var left = out.getChannelData(0), right = out.getChannelData(1);
        Module._webSoundPull(out.length);
        var samples = HEAP16.subarray(buffer >> 1, (buffer >> 1) + out.length * 2);
        for (var i = 0; i < out.length; ++i) {
            left[i] = samples[2 * i] / 32768;
            right[i] = samples[2 * i + 1] / 32768;
        }
    };
    processor.connect(analyser);
    analyser.connect(context.destination);
    Module.audioContext = context;
    Module.soundProcessor = processor;
    Module.soundAnalyser = analyser;
    if (Module.onAudioOpened) Module.onAudioOpened(context);
    return 1;
});

EM_JS(void, closeWebAudio, (), {
    if (!Module.audioContext) return;
    Module.soundProcessor.onaudioprocess = null;
    Module.soundProcessor.disconnect();
    Module.soundAnalyser.disconnect();
    Module.audioContext.close();
    Module.audioContext = Module.soundProcessor = Module.soundAnalyser = null;
});

}  // namespace

// Called by the ScriptProcessor for `frames` frames into the shared buffer.
extern "C" EMSCRIPTEN_KEEPALIVE void webSoundPull(int frames) {
    if (!g_fill || frames <= 0 || frames > kBufferFrames) return;
    g_fill(g_buffer.data(), static_cast<size_t>(frames));
}

namespace sound::output {

bool open(int rate, FillFunction fill) {
    close();
    g_fill = fill;
    if (!openWebAudio(rate, kBufferFrames, g_buffer.data())) {
        g_fill = nullptr;
        EM_ASM({ console.warn("No sound: this browser gives no Web Audio context; the music is silent."); });
        return false;
    }
    return true;
}

void close() {
    closeWebAudio();
    g_fill = nullptr;
}

}  // namespace sound::output
