// The audio output over waveOut: a thread of ours refills each buffer the
// device hands back (it signals an event) with the music player's sound.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "sound_output.h"

namespace {

constexpr int kBufferCount = 4;
constexpr size_t kBufferFrames = 2048;  // about 46 ms at 44100 Hz; four give the device 186 ms
constexpr int kChannels = 2;

struct Output {
    HWAVEOUT device = nullptr;
    HANDLE bufferDone = nullptr;
    sound::output::FillFunction fill = nullptr;
    std::atomic<bool> stopping{false};
    std::thread thread;
    WAVEHDR headers[kBufferCount]{};
    std::vector<int16_t> samples[kBufferCount];
};

Output g_output;

void queueBuffer(int index) {
    WAVEHDR& header = g_output.headers[index];
    g_output.fill(g_output.samples[index].data(), kBufferFrames);
    header.dwFlags &= ~WHDR_DONE;
    waveOutWrite(g_output.device, &header, sizeof header);
}

void refillLoop() {
    while (WaitForSingleObject(g_output.bufferDone, INFINITE) == WAIT_OBJECT_0 && !g_output.stopping) {
        for (int i = 0; i < kBufferCount; ++i) {
            if (g_output.headers[i].dwFlags & WHDR_DONE) queueBuffer(i);
        }
    }
}

bool openDevice(int rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kChannels;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(kChannels * sizeof(int16_t));
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const MMRESULT opened = waveOutOpen(&g_output.device, WAVE_MAPPER, &format,
                                        reinterpret_cast<DWORD_PTR>(g_output.bufferDone), 0, CALLBACK_EVENT);
    if (opened == MMSYSERR_NOERROR) return true;
    char reason[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(opened, reason, sizeof reason);
    std::fprintf(stderr, "sound: no audio device could be opened (waveOut: %s); the music is silent\n", reason);
    g_output.device = nullptr;
    return false;
}

}  // namespace

namespace sound::output {

bool open(int rate, FillFunction fill) {
    close();
    g_output.bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_output.bufferDone || !openDevice(rate)) {
        close();
        return false;
    }
    g_output.fill = fill;
    g_output.stopping = false;
    for (int i = 0; i < kBufferCount; ++i) {
        g_output.samples[i].assign(kBufferFrames * kChannels, 0);
        WAVEHDR& header = g_output.headers[i];
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(g_output.samples[i].data());
        header.dwBufferLength = static_cast<DWORD>(kBufferFrames * kChannels * sizeof(int16_t));
        waveOutPrepareHeader(g_output.device, &header, sizeof header);
        queueBuffer(i);
    }
    g_output.thread = std::thread(refillLoop);
    return true;
}

void close() {
    if (g_output.thread.joinable()) {
        g_output.stopping = true;
        SetEvent(g_output.bufferDone);
        g_output.thread.join();
    }
    if (g_output.device) {
        waveOutReset(g_output.device);  // hands every buffer back
        for (WAVEHDR& header : g_output.headers) {
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(g_output.device, &header, sizeof header);
        }
        waveOutClose(g_output.device);
        g_output.device = nullptr;
    }
    if (g_output.bufferDone) CloseHandle(g_output.bufferDone);
    g_output.bufferDone = nullptr;
}

}  // namespace sound::output
