// The millisecond clock over QueryPerformanceCounter, or timeGetTime-like GetTickCount64 where
// the machine has no performance counter.
#include "platform/clock.h"

#include "platform/winapi.h"

namespace platform {

uint64_t MillisecondClock() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f)) f.QuadPart = 0;  // FALSE when there is no counter
    return f;
  }();
  if (frequency.QuadPart == 0) return GetTickCount64();  // never fails
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);  // cannot fail once the frequency query succeeded
  // Split to keep counter * 1000 from overflowing on long uptimes.
  const uint64_t count = static_cast<uint64_t>(now.QuadPart);
  const uint64_t freq = static_cast<uint64_t>(frequency.QuadPart);
  return count / freq * 1000 + count % freq * 1000 / freq;
}

}  // namespace platform
