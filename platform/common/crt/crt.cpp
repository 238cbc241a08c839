// The clock and calendar sources (the port's own, or one a test or tool
// installs) and the date text of ctime.
#include "crt.h"

#include <cstdio>

#include "crt_port.h"

namespace crt {
namespace {

// Function-local statics: objects constructed during static start-up (the
// program's static test model reads the clock) must find these ready.
ClockSource& clockSource() {
    static ClockSource source;
    return source;
}
CalendarSource& calendarSource() {
    static CalendarSource source;
    return source;
}

}  // namespace

uint32_t clock() {
    if (clockSource()) return clockSource()();
    return port::systemClock();
}

void setClockSource(ClockSource source) { clockSource() = std::move(source); }

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
    if (!port::localTime(t, &local)) return "??? ??? ?? ??:??:?? ????\n";
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d\n", kDays[local.tm_wday % 7],
                  kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, local.tm_year + 1900);
    return text;
}

}  // namespace crt
