// The 55 ms tick clock and event timers of the serial layer.
#include "serial/OoMiscClock.h"

#include <algorithm>
#include <atomic>

#include "platform/clock.h"

namespace {

std::atomic<MillisecondClockSource> clockSource{nullptr};

}  // namespace

void SetMillisecondClockSource(MillisecondClockSource source) { clockSource.store(source); }

uint64_t AdTimeGetTime() {
  MillisecondClockSource source = clockSource.load();
  return source ? source() : platform::MillisecondClock();
}

int64_t CurrentTicks() { return static_cast<int64_t>(AdTimeGetTime() / MillisecondsPerTick); }

void NewTimer(EventTimer& timer, int64_t ticks) {
  timer.StartTicks = CurrentTicks();
  timer.ExpireTicks = timer.StartTicks + std::min(ticks, MaxTimerTicks);
}

bool TimerExpired(const EventTimer& timer) {
  const int64_t now = CurrentTicks();
  if (timer.ExpireTicks < now) return true;
  // The clock went back (only a substituted clock can do that): keep the old rule.
  return now < timer.StartTicks && timer.ExpireTicks < now + MaxTimerTicks;
}
