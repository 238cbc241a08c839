// The demo's six effects on a device of their own, outside the demo's main loop:
// a window, the device wrapper and every effect initialised in schedule order,
// as cDemo::run does, and each effect's frames played over a span of its time.
// Portable: both the Linux and the Windows build's benchmarks use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "d3d.h"
#include "frame_timing.h"
#include "log.h"
#include "velmordemo.h"
#include "windows.h"

namespace bench {

// The effects in schedule order, as the benchmarks' tables name them.
extern const char* const kEffectNames[6];

// The run-wide flags the effects keep, cleared so that every run of an effect
// starts as its first frame in the demo does (with its fade from black).
void resetEffectStatics();

class EffectBench {
public:
    // A window whose client area is width x height, the device and the effects;
    // the working directory must hold the demo's Data/.
    bool open(int width, int height, std::string* error);
    ~EffectBench();

    const std::vector<cEffect*>& effects() const { return effects_; }

private:
    HWND window_ = nullptr;
    cLog log_;
    cD3D d3d_;
    cVelmorDemo demo_;
    std::vector<cEffect*> effects_;
};

// Draws the frames of the first `spanMs` of one effect's time at `fps`, as the
// demo would draw them; `afterFrame(k)` runs after frame k.
template <typename AfterFrame>
void playSpan(cEffect& effect, uint32_t fps, uint32_t spanMs, AfterFrame afterFrame) {
    const session::FrameTiming timing(fps);
    const uint64_t frames = timing.firstFrameAtOrAfter(spanMs);
    resetEffectStatics();
    for (uint64_t k = 0; k < frames; ++k) {
        effect.frame(static_cast<uint32_t>(timing.timeOf(k)));
        afterFrame(k);
    }
}

}  // namespace bench
