// The C-runtime layer's share on the ports over a POSIX C library (Linux, the
// web): what it does differently from the Windows C runtime the program was
// written for. Each port keeps its own clock.
#include <sys/stat.h>

#include "crt.h"
#include "crt_port.h"

namespace crt {
namespace {

uint32_t g_randState = 1;  // constant-initialised: no start-up order to worry about

}  // namespace

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
