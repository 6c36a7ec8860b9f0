// TApdWin32Dispatcher's worker threads on their harder paths, over a real pty: a synchronised
// method handler runs on the thread that opened the port; a dispatch thread ended by an
// exception still reports its end and the error reaches the user; a close from outside that
// meets the ending dispatch thread stopping the threads waits for that stop; a dispatch thread
// that outlives the bounded stop waits is neither waited for for ever nor robbed of its buffers.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
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

  // The delivery the exception cut short is over, so the close releases at once; the
  // destruction finishes: the running thread count reached 0.
  EXPECT_FALSE(Dispatcher->IsInDelivery());
  Dispatcher->ClosePort();
  EXPECT_FALSE(Dispatcher->IsClosePending());
  EXPECT_FALSE(Dispatcher->AreThreadsActive());
  DestroyDispatcher();
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
  platform::SetShowErrorHook(nullptr);
}

// Lets the dispatch thread take the stop over from a close from outside, and holds that stop
// until the closing thread handles a message posted to it, which it does only while it waits:
// the close then meets a stop in progress on another thread.
class StopTakenOverDispatcher final : public TApdWin32Dispatcher {
public:
  explicit StopTakenOverDispatcher(HWND GoWindow)
      : TApdWin32Dispatcher(nullptr), GoWindow(GoWindow), ClosingThread(std::this_thread::get_id()) {}
  // The worker threads run this object's hooks: they end before its members go.
  ~StopTakenOverDispatcher() override { Shutdown(); }

  static constexpr WPARAM GoMarker = 0x60;  // wParam of the posted go-ahead

  void Go() {
    {
      std::lock_guard lock(Mutex);
      GoGiven = true;
    }
    Changed.notify_all();
  }
  bool DispatchThreadStopped() {
    std::lock_guard lock(Mutex);
    return DispatchStopping;
  }

  int DeviceClose() override {
    const int result = TApdWin32Dispatcher::DeviceClose();  // kill threads is set now
    WakeDispatchThread();  // it sees kill threads, ends, and stops the others itself
    {
      std::unique_lock lock(Mutex);
      Changed.wait_for(lock, std::chrono::seconds(10), [this] { return DispatchStopping; });
    }
    PostMessageA(GoWindow, TriggerTimerMessage, GoMarker, 0);
    return result;
  }

  void StopThreads() override {
    if (std::this_thread::get_id() != ClosingThread) {
      std::unique_lock lock(Mutex);
      DispatchStopping = true;
      Changed.notify_all();
      Changed.wait_for(lock, std::chrono::seconds(10), [this] { return GoGiven; });
    }
    TApdWin32Dispatcher::StopThreads();
  }

private:
  const HWND GoWindow;
  const std::thread::id ClosingThread;
  std::mutex Mutex;
  std::condition_variable Changed;
  bool DispatchStopping = false;  // the dispatch thread has taken the stop over (Mutex)
  bool GoGiven = false;           // its stop may go on (Mutex)
};

TEST_F(Win32DispatcherThreadTest, CloseMeetingAStopOnTheDispatchThreadWaitsForItsEnd) {
  auto made = std::make_unique<StopTakenOverDispatcher>(Window);
  StopTakenOverDispatcher* dispatcher = made.get();
  ASSERT_EQ(OpenDispatcher(std::move(made)), 0);
  bool goHandled = false;
  OnTrigger = [&](UINT msg, WPARAM wParam, LPARAM) {
    if (msg != TriggerTimerMessage || wParam != StopTakenOverDispatcher::GoMarker) return;
    goHandled = true;
    dispatcher->Go();
  };

  EXPECT_EQ(Dispatcher->ClosePort(), 0);
  EXPECT_TRUE(dispatcher->DispatchThreadStopped());
  EXPECT_TRUE(goHandled) << "the close waited, handling its messages, for the other stop";
  EXPECT_FALSE(Dispatcher->IsClosePending());
  EXPECT_FALSE(Dispatcher->AreThreadsActive());
  EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0);
  DestroyDispatcher();
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
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
