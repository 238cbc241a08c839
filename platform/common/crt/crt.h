// What the Windows C runtime did that glibc does differently, and the program's
// sources of time.
//
// - clock(): wall-clock milliseconds since the program started (glibc's clock()
//   is CPU time), unsigned 32-bit.
// - rand()/srand(): the Windows generator with RAND_MAX 32767; the effects rely
//   on that range.
// - time()/ctime(): calendar time from a replaceable source, so tests and capture
//   can fix the log's name and the effects' seeds.
// - hostPath(): the program names files with '\' separators; they are mapped to
//   the host's separators here, where a file is opened or a directory made.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace crt {

constexpr int kRandMax = 32767;

// Milliseconds since the program started, from the current clock source.
uint32_t clock();

// Replaces the clock source (a virtual clock for tests and capture). An empty
// function restores the wall clock.
using ClockSource = std::function<uint32_t()>;
void setClockSource(ClockSource source);

// A clock that only moves when told to; install it with setClockSource(clock.source()).
class VirtualClock {
public:
    explicit VirtualClock(uint32_t startMs = 0) : now_(startMs) {}
    uint32_t now() const { return now_; }
    void set(uint32_t ms) { now_ = ms; }
    void advance(uint32_t ms) { now_ += ms; }
    ClockSource source() {
        return [this] { return now_; };
    }

private:
    uint32_t now_;
};

// The Windows C runtime's pseudo-random generator (seed 1 at start).
int rand();
void srand(unsigned int seed);

// Calendar time in seconds, from the current calendar source.
std::time_t time(std::time_t* out);
using CalendarSource = std::function<std::time_t()>;
void setCalendarSource(CalendarSource source);  // empty: the real time

// The local date text of `t` as ctime makes it: "Sun Dec  6 23:27:32 2026\n".
std::string ctime(std::time_t t);

// A program path ("Data\\Logs\\x.html") as the host names it ("Data/Logs/x.html").
std::string hostPath(const std::string& programPath);

// Creates one directory (not its parents). Returns 0 on success, -1 on failure
// (including when it exists already), as _mkdir does.
int mkdir(const std::string& programPath);

}  // namespace crt
