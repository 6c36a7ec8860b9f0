// TApdWin32Dispatcher's worker threads on their harder paths, over a real pty: a synchronised
// method handler runs on the thread that opened the port; a dispatch thread ended by an
// exception still reports its end and the error reaches the user; a dispatch thread that
// outlives the bounded stop waits is neither waited for for ever nor robbed of its buffers.
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/hooks.h"
#include "tests/serial/PtyPortFixture.h"

namespace devlayer_test {
namespace {

using Win32DispatcherThreadTest = PtyPortTest;

std::atomic<DWORD> MethodThread{0};
std::atomic<int> MethodCalls{0};

void RecordingMethod(void*, UINT Msg, WPARAM, LPARAM) {
  if (Msg != TriggerAvailMessage) return;
  MethodThread = GetCurrentThreadId();
  ++MethodCalls;
}

TEST_F(Win32DispatcherThreadTest, SynchronisedMethodHandlerRunsOnTheOpeningThread) {
  ASSERT_EQ(OpenDispatcher(), 0);
  MethodCalls = 0;
  Dispatcher->RegisterMethodHandler(TApdNotifyMethod{RecordingMethod, nullptr}, true);
  WriteMaster(Pty->master(), "s");
  ASSERT_TRUE(PumpUntil([] { return MethodCalls > 0; }));
  EXPECT_EQ(MethodThread.load(), GetCurrentThreadId());
}

void ThrowingProc(UINT Msg, WPARAM, LPARAM) {
  if (Msg == TriggerAvailMessage) throw std::runtime_error("handler failed");
}

TEST_F(Win32DispatcherThreadTest, DispatchThreadEndedByAnExceptionReportsItsEnd) {
  std::string shown;
  platform::SetShowErrorHook([&](const std::string& message) { shown = message; });
  ASSERT_EQ(OpenDispatcher(), 0);
  Dispatcher->RegisterProcHandler(ThrowingProc);
  WriteMaster(Pty->master(), "e");
  ASSERT_TRUE(PumpUntil([&] { return !shown.empty(); }));
  EXPECT_EQ(shown, "handler failed");

  // The close and the destruction finish: the running thread count reached 0.
  Dispatcher->ClosePort();
  DestroyDispatcher();
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
  platform::SetShowErrorHook(nullptr);
}

std::atomic<bool> ProcEntered{false};
std::promise<void>* ProcRelease = nullptr;

void BlockingProc(UINT Msg, WPARAM, LPARAM) {
  if (Msg != TriggerAvailMessage || ProcEntered.exchange(true)) return;
  ProcRelease->get_future().wait_for(std::chrono::seconds(30));
}

TEST_F(Win32DispatcherThreadTest, DispatchThreadOutlivingTheStopWaitsIsJoinedAtTheEnd) {
  std::promise<void> release;
  ProcRelease = &release;
  ProcEntered = false;
  ASSERT_EQ(OpenDispatcher(), 0);
  Dispatcher->RegisterProcHandler(BlockingProc);
  WriteMaster(Pty->master(), "b");
  ASSERT_TRUE(PumpUntil([] { return ProcEntered.load(); }));

  // Closed during the delivery, then destroyed while the handler still blocks the dispatch
  // thread: both stop waits run out, and the destruction waits for the thread to end by
  // itself. Released only once both waits have run out.
  Dispatcher->ClosePort();
  TApdWin32Dispatcher* dispatcher = Dispatcher.get();
  std::thread releaser([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (dispatcher->StopWaitTimeouts() < 2 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(dispatcher->StopWaitTimeouts(), 2);
    release.set_value();
  });
  DestroyDispatcher();
  releaser.join();
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
  ProcRelease = nullptr;
}

}  // namespace
}  // namespace devlayer_test
