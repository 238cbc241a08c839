// The capture's progress on stderr: frames done, frames a second and the time
// left, on one line rewritten in place on a terminal, or a line every ten
// seconds when stderr is a file or a pipe.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace capture {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    ProgressLine(std::FILE* out, uint64_t totalFrames);

    // `done` frames of the total are drawn.
    void update(uint64_t done);
    // Ends the line (on a terminal) so later messages start on a fresh one.
    void finish();

    // The text shown for `done` of `total` frames at `fps` (0 while unknown).
    static std::string format(uint64_t done, uint64_t total, double fps);

private:
    void show(uint64_t done, Clock::time_point now);

    std::FILE* out_;
    uint64_t total_;
    bool terminal_;
    Clock::time_point started_;
    Clock::time_point lastShown_;
    // The rate is measured over a sliding window, so a slow start (or a slow
    // scene) does not distort the estimate for long.
    Clock::time_point windowStart_;
    uint64_t windowStartFrame_ = 0;
    double fps_ = 0;
    bool shown_ = false;
};

}  // namespace capture
