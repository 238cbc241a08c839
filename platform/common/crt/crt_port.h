// What each port supplies to the C-runtime layer (crt.h declares the rest of its
// share: rand, srand, hostPath and mkdir). Nothing outside platform/ includes this.
#pragma once

#include <cstdint>
#include <ctime>

namespace crt::port {

// Wall-clock milliseconds since the program started, wrapping at 2^32.
uint32_t systemClock();

// The broken-down local time of `t`; false when it cannot be had.
bool localTime(std::time_t t, std::tm* out);

}  // namespace crt::port
