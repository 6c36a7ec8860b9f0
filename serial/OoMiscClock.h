// The serial layer's 55 ms tick clock: the millisecond clock, ticks (ms / 55) and the event
// timers that trigger timers and the activity lights count in. Ticks are kept in 64 bits, so a
// timer armed at any moment fires on time (a 32-bit millisecond clock wraps every 49.7 days).
// Standard library and platform/ only.
#pragma once
#include <cstdint>

// Milliseconds per tick.
inline constexpr uint64_t MillisecondsPerTick = 55;
// The longest timer, in ticks (about 24.8 days).
inline constexpr int64_t MaxTimerTicks = 39045157;

// The clock behind AdTimeGetTime. nullptr selects the platform's millisecond clock (the
// default); tests install a settable clock here. Safe to call from any thread.
using MillisecondClockSource = uint64_t (*)();
void SetMillisecondClockSource(MillisecondClockSource source);

// The millisecond clock: monotonic, from an arbitrary start.
uint64_t AdTimeGetTime();

// The current tick: AdTimeGetTime() / 55.
int64_t CurrentTicks();

// An event timer: the tick it was started at and the tick after which it has expired.
struct EventTimer {
  int64_t StartTicks = 0;
  int64_t ExpireTicks = 0;
};

// Starts the timer now for `ticks` ticks (at most MaxTimerTicks).
void NewTimer(EventTimer& timer, int64_t ticks);

// True once the timer's expiry tick lies in the past: a timer of n ticks is due more than
// n * 55 ms and at most (n + 1) * 55 ms after it was started. Also true when the clock has
// gone back past the start tick and the expiry lies within MaxTimerTicks of now.
bool TimerExpired(const EventTimer& timer);
