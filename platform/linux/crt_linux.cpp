// The Linux port's clock: glibc's clock() is processor time, the program's
// clock is wall-clock time since it started.
#include <chrono>

#include "crt_port.h"

namespace crt {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A function-local static: objects constructed during static start-up (the
// program's static test model reads the clock) must find it ready.
SteadyClock::time_point programStart() {
    static const SteadyClock::time_point start = SteadyClock::now();
    return start;
}
// Starts the clock while the program starts, whichever reads it first.
[[maybe_unused]] const bool g_clockStarted = (programStart(), true);

}  // namespace

uint32_t port::systemClock() {
    const auto elapsed = SteadyClock::now() - programStart();
    // Wraps after about 49.7 days, as the 32-bit millisecond clock of the original does.
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace crt
