#include "crt.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>

namespace crt {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Function-local statics: objects constructed during static start-up (the
// program's static test model reads the clock) must find these ready.
SteadyClock::time_point programStart() {
    static const SteadyClock::time_point start = SteadyClock::now();
    return start;
}
ClockSource& clockSource() {
    static ClockSource source;
    return source;
}
CalendarSource& calendarSource() {
    static CalendarSource source;
    return source;
}
// Starts the clock while the program starts, whichever reads it first.
[[maybe_unused]] const bool g_clockStarted = (programStart(), true);
uint32_t g_randState = 1;  // constant-initialised: no start-up order to worry about

}  // namespace

uint32_t clock() {
    if (clockSource()) return clockSource()();
    const auto elapsed = SteadyClock::now() - programStart();
    // Wraps after about 49.7 days, as the 32-bit millisecond clock of the original does.
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void setClockSource(ClockSource source) { clockSource() = std::move(source); }

// The linear congruential generator of the Windows C runtime: the effects scale
// its 15-bit results and expect exactly that range.
int rand() {
    g_randState = g_randState * 214013u + 2531011u;
    return static_cast<int>((g_randState >> 16) & 0x7FFF);
}

void srand(unsigned int seed) { g_randState = seed; }

std::time_t time(std::time_t* out) {
    const std::time_t now = calendarSource() ? calendarSource()() : std::time(nullptr);
    if (out) *out = now;
    return now;
}

void setCalendarSource(CalendarSource source) { calendarSource() = std::move(source); }

std::string ctime(std::time_t t) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    if (!localtime_r(&t, &local)) return "??? ??? ?? ??:??:?? ????\n";
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d\n", kDays[local.tm_wday % 7],
                  kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, local.tm_year + 1900);
    return text;
}

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
