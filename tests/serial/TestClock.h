// A settable millisecond clock for tests: installs itself as the tick clock's source and
// restores the platform clock when it goes.
#pragma once
#include <atomic>
#include <cstdint>

#include "serial/OoMiscClock.h"

class TTestClock {
public:
  explicit TTestClock(uint64_t StartMs = 1000000) {
    Now() = StartMs;
    SetMillisecondClockSource([] { return Now().load(); });
  }
  ~TTestClock() { SetMillisecondClockSource(nullptr); }
  void Set(uint64_t Ms) { Now() = Ms; }
  void Advance(uint64_t Ms) { Now() += Ms; }
  uint64_t Get() const { return Now().load(); }

private:
  static std::atomic<uint64_t>& Now() {
    static std::atomic<uint64_t> now{0};
    return now;
  }
};
