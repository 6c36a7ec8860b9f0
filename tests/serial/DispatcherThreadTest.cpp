// The dispatcher with a real dispatch thread: trigger messages cross to the window's thread
// through SendMessageTimeout while this thread pumps, a port closed from inside a handler
// releases everything once the handler returns, and a window that does not answer within the
// time-out is abandoned for that delivery while the next window is served.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "FakeDispatcher.h"
#include "platform/msgpump.h"

namespace {

std::string ReadAll(TApdBaseDispatcher& port, WPARAM count) {
  std::string bytes;
  uint8_t byte;
  for (WPARAM i = 0; i < count && port.ReadByte(byte) == 0; ++i) bytes += static_cast<char>(byte);
  return bytes;
}

class DispatcherThread : public ::testing::Test {
protected:
  TTriggerWindow window;
  TFakeDispatcher port{true};

  void SetUp() override {
    ASSERT_EQ(port.OpenDefault(), 0);
    ASSERT_TRUE(port.AreThreadsActive());
    port.AttachWindow(window.Window());
    port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
    port.SetAvailThreshold(1);
  }
};

TEST_F(DispatcherThread, TriggerMessagesReachTheWindowsThread) {
  std::string got;
  DWORD handlerThread = 0;
  window.OnMessage([&](const TTriggerWindow::Message& m) {
    handlerThread = GetCurrentThreadId();
    got += ReadAll(port, m.wParam);
  });
  port.Feed("hello");
  port.SignalEvent(EV_RXCHAR);
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 5; }));
  EXPECT_EQ(got, "hello");
  EXPECT_EQ(handlerThread, GetCurrentThreadId());
  port.Feed(" world");
  port.SignalEvent(EV_RXCHAR);
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 11; }));
  EXPECT_EQ(got, "hello world");
  // A normal close stops the thread and releases at once.
  port.ClosePort();
  EXPECT_FALSE(port.AreThreadsActive());
  EXPECT_EQ(port.RunningThreads(), 0);
}

TEST_F(DispatcherThread, ClosingInsideAHandlerReleasesWhenTheHandlerReturns) {
  TTriggerWindow second;
  port.AttachWindow(second.Window());
  std::atomic<int> handled{0};
  window.OnMessage([&](const TTriggerWindow::Message&) {
    ++handled;
    port.ClosePort();
    EXPECT_TRUE(port.IsInDelivery());
    EXPECT_TRUE(port.AreThreadsActive());
  });
  port.Feed("abc");
  port.SignalEvent(EV_RXCHAR);
  ASSERT_TRUE(PumpUntil([&] { return handled == 1 && !port.AreThreadsActive(); }));
  EXPECT_TRUE(port.IsClosePending());
  EXPECT_EQ(port.RunningThreads(), 0);
  EXPECT_TRUE(second.Messages().empty());
  EXPECT_EQ(port.BytesWaiting(), 0);  // buffers released by the dispatch thread
}

TEST(DispatcherThreadDestroy, DestroyWhileTheThreadWaitsOnThisThreadsWindow) {
  // The dispatch thread is blocked sending to a window of this thread: destroying the
  // dispatcher keeps handling this thread's messages until the thread has ended.
  TTriggerWindow window;
  auto port = std::make_unique<TFakeDispatcher>(true);
  ASSERT_EQ(port->OpenDefault(), 0);
  port->AttachWindow(window.Window());
  port->RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  port->SetAvailThreshold(1);
  port->Feed("abc");
  port->SignalEvent(EV_RXCHAR);
  for (int i = 0; i < 10000 && !port->IsInDelivery(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(port->IsInDelivery());
  port.reset();
  EXPECT_EQ(window.Messages().size(), 1u);
}

TEST(DispatcherThreadTimeout, AnUnansweredWindowIsAbandonedAndTheNextIsServed) {
  TTriggerWindow silent;  // owned by this thread, which does not pump for a while
  std::atomic<bool> helperReady{false}, helperDone{false}, stop{false};
  std::atomic<HWND> helperWindow{nullptr};
  std::string helperRead;
  TFakeDispatcher port(true);
  std::thread helper([&] {
    TTriggerWindow w;
    w.OnMessage([&](const TTriggerWindow::Message& m) {
      helperRead = ReadAll(port, 2);
      (void)m;
      helperDone = true;
    });
    helperWindow = w.Window();
    helperReady = true;
    while (!stop) {
      platform::PumpPendingMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  while (!helperReady) std::this_thread::yield();
  ASSERT_EQ(port.OpenDefault(), 0);
  port.AttachWindow(silent.Window());
  port.AttachWindow(helperWindow);
  port.SetAvailThreshold(1);
  port.Feed("abcd");
  port.SignalEvent(EV_RXCHAR);
  // Not pumping: the send to `silent` times out after 3 s, then the helper's window is served.
  while (!helperDone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // The abandoned message is withdrawn, never handled late.
  platform::PumpPendingMessages();
  EXPECT_TRUE(silent.Messages().empty());
  EXPECT_EQ(helperRead, "ab");
  ASSERT_TRUE(PumpUntil([&] { return port.BytesWaiting() == 2; }));
  port.ClosePort();
  stop = true;
  helper.join();
}

}  // namespace
