// The audio output on the web: an AudioWorklet plays what the main thread
// renders, and an analyser after it lets the page (and its tests) measure what
// is played.
//
// The program has no threads and the worklet runs on the browser's audio
// thread, where it cannot call into the program. So the sound is rendered here,
// on the main thread, a chunk at a time: a few chunks are queued in the worklet,
// and each chunk it has played comes back over its port to be filled again and
// sent on. The chunks in flight never change in number, which bounds the
// latency; when the main thread is late, the worklet plays silence meanwhile
// and counts it.
//
// Browsers start sound only after a gesture of the viewer: the context is made
// here, suspended if no gesture came yet, and the page resumes it on the click
// that starts the demo. AudioWorklet needs a secure context (https, or
// localhost); without it the demo runs silent.
#include <emscripten.h>

#include <cstdint>
#include <vector>

#include "sound_output.h"

namespace {

constexpr int kChunkFrames = 1024;  // about 23 ms at 44100 Hz
constexpr int kChunksInFlight = 8;  // about 190 ms queued at 44100 Hz

sound::output::FillFunction g_fill = nullptr;
std::vector<int16_t> g_buffer(static_cast<size_t>(kChunkFrames) * 2);

// 1 when the output plays, 0 when there is none (said once on the console).
// The worklet's processor is loaded from a Blob URL, so that the site needs no
// file of its own for it; a chunk is a Float32Array holding its left channel,
// then its right.
EM_ASYNC_JS(int, openWebAudio, (int rate, int chunkFrames, int chunks, int16_t* buffer), {
    function noSound(why) {
        console.warn("No sound: " + why + "; the music is silent.");
        return 0;
    }
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return noSound("this browser gives no Web Audio context");
    if (!window.isSecureContext) return noSound("the page is not a secure context (https or localhost), which an AudioWorklet needs");
    var context;
    try {
        context = new Context({sampleRate: rate});
    } catch (e) {
        return noSound("no audio context at " + rate + " Hz (" + e + ")");
    }
    if (!context.audioWorklet || typeof AudioWorkletNode === "undefined") {
        context.close();
        return noSound("this browser has no AudioWorklet");
    }
    var source = "(" + function() {
        class DemoSound extends AudioWorkletProcessor {
            constructor() {
                super();
                this.queue = [];
                this.played = 0;
                this.silentFrames = 0;
                this.port.onmessage = (event) => { this.queue.push(event.data); };
            }
            process(inputs, outputs) {
                const left = outputs[0][0], right = outputs[0][1];
                let done = 0;
                while (done < left.length && this.queue.length) {
                    const chunk = this.queue[0], frames = chunk.length / 2;
                    const n = Math.min(left.length - done, frames - this.played);
                    left.set(chunk.subarray(this.played, this.played + n), done);
                    right.set(chunk.subarray(frames + this.played, frames + this.played + n), done);
                    done += n;
                    this.played += n;
                    if (this.played === frames) {
                        this.queue.shift();
                        this.played = 0;
                        this.port.postMessage({chunk: chunk, silentFrames: this.silentFrames}, [chunk.buffer]);
                    }
                }
                if (done < left.length) {
                    left.fill(0, done);
                    right.fill(0, done);
                    this.silentFrames += left.length - done;
                }
                return true;
            }
        }
        registerProcessor("demo-sound", DemoSound);
    } + ")();";
    var url = URL.createObjectURL(new Blob([source], {type: "text/javascript"}));
    try {
        await context.audioWorklet.addModule(url);
    } catch (e) {
        context.close();
        return noSound("the sound worklet did not load (" + e + ")");
    } finally {
        URL.revokeObjectURL(url);
    }
    var node = new AudioWorkletNode(context, "demo-sound",
                                    {numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2]});
    var analyser = context.createAnalyser();
    analyser.fftSize = 2048;
    node.connect(analyser);
    analyser.connect(context.destination);

    function fillAndSend(chunk) {
        Module._webSoundPull(chunkFrames);
        var samples = HEAP16.subarray(buffer >> 1, (buffer >> 1) + chunkFrames * 2);
        for (var i = 0; i < chunkFrames; ++i) {
            chunk[i] = samples[2 * i] / 32768;
            chunk[chunkFrames + i] = samples[2 * i + 1] / 32768;
        }
        node.port.postMessage(chunk, [chunk.buffer]);
    }
    node.port.onmessage = function(event) {
        Module.soundSilentFrames = event.data.silentFrames;
        fillAndSend(event.data.chunk);
    };
    for (var c = 0; c < chunks; ++c) fillAndSend(new Float32Array(chunkFrames * 2));

    Module.audioContext = context;
    Module.soundNode = node;
    Module.soundAnalyser = analyser;
    Module.soundSilentFrames = 0;
    if (Module.onAudioOpened) Module.onAudioOpened(context);
    return 1;
});

EM_JS(void, closeWebAudio, (), {
    if (!Module.audioContext) return;
    Module.soundNode.port.onmessage = null;
    Module.soundNode.disconnect();
    Module.soundAnalyser.disconnect();
    Module.audioContext.close();
    Module.audioContext = Module.soundNode = Module.soundAnalyser = null;
});

}  // namespace

// Called from the page for `frames` frames into the shared buffer.
extern "C" EMSCRIPTEN_KEEPALIVE void webSoundPull(int frames) {
    if (!g_fill || frames <= 0 || frames > kChunkFrames) return;
    g_fill(g_buffer.data(), static_cast<size_t>(frames));
}

namespace sound::output {

bool open(int rate, FillFunction fill) {
    close();
    g_fill = fill;
    if (!openWebAudio(rate, kChunkFrames, kChunksInFlight, g_buffer.data())) {
        g_fill = nullptr;
        return false;
    }
    return true;
}

void close() {
    closeWebAudio();
    g_fill = nullptr;
}

}  // namespace sound::output
