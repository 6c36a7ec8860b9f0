// The millisecond clock over std::chrono::steady_clock.
#include "platform/clock.h"

#include <chrono>

namespace platform {

uint64_t MillisecondClock() {
  using namespace std::chrono;
  static const steady_clock::time_point start = steady_clock::now();
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

}  // namespace platform
