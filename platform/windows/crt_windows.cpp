// The Windows port's share of the C-runtime layer: the C runtime's own clock,
// random numbers, paths and directories, exactly as the program was written for.
#include <direct.h>

#include <cstdlib>
#include <ctime>

#include "crt.h"
#include "crt_port.h"

namespace crt {

// The Windows C runtime's clock() is wall-clock time since the process started.
static_assert(CLOCKS_PER_SEC == 1000, "clock() counts milliseconds on Windows");
uint32_t port::systemClock() { return static_cast<uint32_t>(::clock()); }

bool port::localTime(std::time_t t, std::tm* out) {
    const std::tm* local = std::localtime(&t);  // one thread reads the calendar
    if (!local) return false;
    *out = *local;
    return true;
}

int rand() { return ::rand(); }

void srand(unsigned int seed) { ::srand(seed); }

// Windows takes the program's '\' separators as they are.
std::string hostPath(const std::string& programPath) { return programPath; }

int mkdir(const std::string& programPath) { return ::_mkdir(programPath.c_str()) == 0 ? 0 : -1; }

}  // namespace crt
