// The Linux port's share of the C-runtime layer: what glibc does differently
// from the Windows C runtime the program was written for.
#include <sys/stat.h>

#include <chrono>

#include "crt.h"
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
uint32_t g_randState = 1;  // constant-initialised: no start-up order to worry about

}  // namespace

// glibc's clock() is processor time; the program's clock is wall-clock time.
uint32_t port::systemClock() {
    const auto elapsed = SteadyClock::now() - programStart();
    // Wraps after about 49.7 days, as the 32-bit millisecond clock of the original does.
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

bool port::localTime(std::time_t t, std::tm* out) { return localtime_r(&t, out) != nullptr; }

// The linear congruential generator of the Windows C runtime: the effects scale
// its 15-bit results and expect exactly that range (glibc's RAND_MAX is 2^31 - 1).
int rand() {
    g_randState = g_randState * 214013u + 2531011u;
    return static_cast<int>((g_randState >> 16) & 0x7FFF);
}

void srand(unsigned int seed) { g_randState = seed; }

std::string hostPath(const std::string& programPath) {
    std::string path = programPath;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

int mkdir(const std::string& programPath) {
    return ::mkdir(hostPath(programPath).c_str(), 0777) == 0 ? 0 : -1;
}

}  // namespace crt
