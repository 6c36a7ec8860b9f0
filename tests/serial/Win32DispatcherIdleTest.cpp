// The dispatch thread's pass interval over a real pty: it waits for device events without a
// limit while nothing can become due without one, and goes back to timed passes as soon as
// something can (a timer or status trigger armed, a full dispatch buffer, input left in the
// driver, the receive thread gone). Arming a trigger wakes a thread that is waiting unbounded.
#include <string>

#include "tests/serial/PtyPortFixture.h"

namespace devlayer_test {
namespace {

using Win32DispatcherIdleTest = PtyPortTest;

constexpr DWORD Timed = 50;

TEST_F(Win32DispatcherIdleTest, PassIntervalFollowsWhatCanBecomeDue) {
  ASSERT_EQ(OpenDispatcher(), 0);
  OnTrigger = [](UINT, WPARAM, LPARAM) {};
  EXPECT_EQ(Dispatcher->PassInterval(Timed), INFINITE) << "open, quiet, nothing armed";

  const int timer = Dispatcher->NewTimerTrigger();
  ASSERT_GT(timer, 0);
  EXPECT_EQ(Dispatcher->PassInterval(Timed), INFINITE) << "a new timer is not active";
  ASSERT_EQ(Dispatcher->ArmTimerTrigger(timer, 1000, true), 0);
  EXPECT_EQ(Dispatcher->PassInterval(Timed), Timed) << "an active timer";
  ASSERT_EQ(Dispatcher->ArmTimerTrigger(timer, 0, false), 0);
  EXPECT_EQ(Dispatcher->PassInterval(Timed), INFINITE);

  const int sent = Dispatcher->NewStatusTrigger(stOutSent);
  ASSERT_GT(sent, 0);
  ASSERT_EQ(Dispatcher->ArmStatusTrigger(sent, 0, true), 0);
  EXPECT_EQ(Dispatcher->PassInterval(Timed), Timed) << "an armed status trigger";
  ASSERT_EQ(Dispatcher->ArmStatusTrigger(sent, 0, false), 0);
  EXPECT_EQ(Dispatcher->PassInterval(Timed), INFINITE);

  // A handler that reads nothing: the dispatch buffer fills and the rest waits in the driver,
  // which only the timed passes drain.
  WriteMaster(Pty->master(), Pattern(0, 3 * DispatchBufferSize / 2));
  ASSERT_TRUE(PumpUntil([&] { return Dispatcher->BytesWaiting() == static_cast<int>(DispatchBufferSize); }));
  EXPECT_EQ(Dispatcher->PassInterval(Timed), Timed) << "full dispatch buffer";
  ASSERT_EQ(Dispatcher->DiscardInput(), 0);

  // Without the receive thread the timed passes are the only input path.
  Pty->closeMaster();
  ASSERT_TRUE(PumpUntil([&] { return Dispatcher->DeviceGone(); }));
  ASSERT_TRUE(PumpUntil([&] { return Dispatcher->PassInterval(Timed) == Timed; }));
  EXPECT_EQ(Dispatcher->ClosePort(), 0);
  EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0) << "the close found every thread awake";
}

TEST_F(Win32DispatcherIdleTest, ADispatchThreadWaitingUnboundedWakesForTriggersAndBytes) {
  ASSERT_EQ(OpenDispatcher(), 0);
  int timers = 0;
  std::string received;
  OnTrigger = [&](UINT msg, WPARAM wParam, LPARAM) {
    if (msg == TriggerTimerMessage) ++timers;
    uint8_t byte;
    for (WPARAM i = 0; msg == TriggerAvailMessage && i < wParam; ++i)
      if (Dispatcher->ReadByte(byte) == 0) received.push_back(static_cast<char>(byte));
  };
  // Long enough for the dispatch thread to have settled into its unbounded wait.
  PumpUntil([] { return false; }, 200);

  const int timer = Dispatcher->NewTimerTrigger();
  ASSERT_EQ(Dispatcher->ArmTimerTrigger(timer, 1, true), 0);
  EXPECT_TRUE(PumpUntil([&] { return timers == 1; })) << "the timer armed during the wait fired";

  PumpUntil([] { return false; }, 200);
  WriteMaster(Pty->master(), "after a quiet spell");
  EXPECT_TRUE(PumpUntil([&] { return received == "after a quiet spell"; })) << received;

  EXPECT_EQ(Dispatcher->ClosePort(), 0);
  EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0);
}

}  // namespace
}  // namespace devlayer_test
