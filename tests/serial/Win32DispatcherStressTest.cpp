// Many open/close cycles of TApdWin32Dispatcher on one pty, with traffic both ways and some
// closes from inside the data-available handler: every cycle ends in bounded time, no bounded
// wait runs out, and every thread is joined.
#include <chrono>

#include "tests/serial/PtyPortFixture.h"

namespace devlayer_test {
namespace {

using Win32DispatcherStressTest = PtyPortTest;

TEST_F(Win32DispatcherStressTest, OpenCloseCyclesWithTraffic) {
  constexpr int Cycles = 200;
  constexpr auto CycleLimit = std::chrono::seconds(15);
  for (int cycle = 0; cycle < Cycles; ++cycle) {
    SCOPED_TRACE(cycle);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(OpenDispatcher(), 0);
    const bool closeInHandler = cycle % 3 == 0;
    const std::string in = Pattern(cycle, 1 + cycle % 50);
    const std::string out = Pattern(cycle * 3, 1 + cycle % 70);
    std::string received;
    bool closed = false;
    OnTrigger = [&](UINT msg, WPARAM count, LPARAM) {
      if (msg != TriggerAvailMessage || closed) return;
      uint8_t byte;
      for (WPARAM i = 0; i < count; ++i)
        if (Dispatcher->ReadByte(byte) == 0) received.push_back(static_cast<char>(byte));
      if (closeInHandler && received.size() >= in.size()) {
        Dispatcher->ClosePort();
        closed = true;
      }
    };

    // Output first: a close inside the handler abandons whatever is still queued.
    ASSERT_EQ(Dispatcher->WriteBytes(out.data(), static_cast<uint32_t>(out.size())), 0);
    ASSERT_EQ(ReadMaster(Pty->master(), out.size()), out);
    WriteMaster(Pty->master(), in);
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= in.size(); }));
    EXPECT_EQ(received, in);

    if (closeInHandler)
      ASSERT_TRUE(PumpUntil([&] { return !Dispatcher->AreThreadsActive(); }));
    else
      EXPECT_EQ(Dispatcher->ClosePort(), 0);
    EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0);
    DestroyDispatcher();
    OnTrigger = nullptr;
    ASSERT_LT(std::chrono::steady_clock::now() - start, CycleLimit);
  }
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
}

}  // namespace
}  // namespace devlayer_test
