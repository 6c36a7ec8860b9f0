// The 55 ms tick clock: when a timer of n ticks becomes due, the longest timer, and a timer
// armed just before the 32-bit millisecond count wraps.
#include <gtest/gtest.h>

#include "TestClock.h"
#include "serial/OoMiscClock.h"

namespace {

// The first millisecond after Start at which a timer of Ticks ticks has expired.
uint64_t FirstExpiry(TTestClock& clock, uint64_t start, int64_t ticks) {
  clock.Set(start);
  EventTimer timer;
  NewTimer(timer, ticks);
  uint64_t ms = start;
  while (!TimerExpired(timer)) clock.Set(++ms);
  return ms - start;
}

TEST(TickClock, TimerOfNTicksIsDueAfterMoreThanNAndAtMostNPlusOneTicks) {
  TTestClock clock;
  struct Case {
    uint64_t start;  // where in a tick the timer is armed
    int64_t ticks;
  };
  for (const Case& c : {Case{55000, 0}, Case{55000, 1}, Case{55001, 1}, Case{55054, 1},
                        Case{55027, 3}, Case{55054, 18}, Case{55000, 36}}) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " ticks " << c.ticks);
    const uint64_t elapsed = FirstExpiry(clock, c.start, c.ticks);
    EXPECT_GT(elapsed, static_cast<uint64_t>(c.ticks) * 55);
    EXPECT_LE(elapsed, static_cast<uint64_t>(c.ticks + 1) * 55);
  }
}

TEST(TickClock, TicksAreMillisecondsOver55AndTimersAreCappedAtTheLongest) {
  TTestClock clock(55 * 1000 + 54);
  EXPECT_EQ(CurrentTicks(), 1000);
  EventTimer timer;
  NewTimer(timer, MaxTimerTicks + 1000);
  EXPECT_EQ(timer.ExpireTicks - timer.StartTicks, MaxTimerTicks);
}

TEST(TickClock, TimerArmedJustBeforeThe32BitWrapFiresOnTime) {
  // A 32-bit millisecond clock wraps at 2^32 ms; this timer would have waited about 25 days.
  TTestClock clock((uint64_t{1} << 32) - 100);
  EventTimer timer;
  NewTimer(timer, 5);
  clock.Advance(4 * 55);
  EXPECT_FALSE(TimerExpired(timer));
  clock.Advance(2 * 55);
  EXPECT_TRUE(TimerExpired(timer));
}

}  // namespace
