// Where each captured frame falls on the demo's clock and on the sound track.
//
// Frame k of a capture at `fps` frames a second shows the demo at
// floor(k × 1000 / fps) ms and covers the audio sample frames from
// floor(k × rate / fps) up to the next frame's first one. Both are computed from
// k itself rather than by adding a rounded step, so rates that do not divide
// 1000 (or the sample rate) never drift: after fps frames the clock reads
// exactly 1000 ms more and exactly `rate` more samples have been played.
#pragma once

#include <cstdint>

namespace session {

class FrameTiming {
public:
    // fps must be at least 1.
    explicit FrameTiming(uint32_t fps) : fps_(fps) {}

    uint32_t fps() const { return fps_; }

    // The demo's clock, in ms, while frame `frame` is drawn.
    uint64_t timeOf(uint64_t frame) const { return frame * 1000 / fps_; }

    // The first frame drawn at or after `ms`: ceil(ms × fps / 1000).
    uint64_t firstFrameAtOrAfter(uint64_t ms) const { return (ms * fps_ + 999) / 1000; }

    // The first audio sample frame (at `rate` per second) of frame `frame`.
    uint64_t firstSampleOf(uint64_t frame, uint32_t rate) const { return frame * rate / fps_; }

    // How many audio sample frames frame `frame` lasts.
    uint64_t samplesIn(uint64_t frame, uint32_t rate) const {
        return firstSampleOf(frame + 1, rate) - firstSampleOf(frame, rate);
    }

private:
    uint32_t fps_;
};

}  // namespace session
