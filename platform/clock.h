// The millisecond clock of the serial layer (QueryPerformanceCounter on Windows,
// std::chrono::steady_clock elsewhere). 64 bits, so it never wraps in practice.
#pragma once
#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary fixed start; monotonic.
uint64_t MillisecondClock();

}  // namespace platform
