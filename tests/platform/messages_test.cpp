// Hidden message windows: classes, direct and cross-thread sends with time-outs, posted order,
// the pump and its quit rule, the wake hook, and windows outliving their thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/msgpump.h"
#include "platform/winapi.h"

namespace {

using namespace std::chrono_literals;

constexpr UINT kPing = WM_USER + 1;
constexpr UINT kOther = WM_USER + 2;

// What a test window saw; reached through GWLP_USERDATA.
struct Recorder {
  std::mutex mutex;
  std::vector<std::pair<UINT, WPARAM>> seen;
  std::vector<DWORD> threads;
  std::function<LRESULT(HWND, UINT, WPARAM)> onMessage;  // optional extra behaviour
};

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* recorder = reinterpret_cast<Recorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!recorder || message == WM_DESTROY) return DefWindowProcA(window, message, wParam, lParam);
  {
    std::lock_guard lock(recorder->mutex);
    recorder->seen.emplace_back(message, wParam);
    recorder->threads.push_back(GetCurrentThreadId());
  }
  if (recorder->onMessage) return recorder->onMessage(window, message, wParam);
  return static_cast<LRESULT>(wParam * 2);
}

const char* TestClass() {
  static const char* name = [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = RecordingProc;
    cls.cbWndExtra = sizeof(LONG_PTR);  // one value at offset 0
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "platformTestWindow";
    EXPECT_NE(RegisterClassA(&cls), 0);
    return "platformTestWindow";
  }();
  return name;
}

struct TestWindow {
  Recorder recorder;
  HWND hwnd;
  TestWindow() {
    hwnd = CreateWindowA(TestClass(), "", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&recorder));
  }
  ~TestWindow() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  std::vector<std::pair<UINT, WPARAM>> seen() {
    std::lock_guard lock(recorder.mutex);
    return recorder.seen;
  }
};

// Empties the calling thread's queue so one test's leftovers cannot reach the next.
void Drain() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(WindowClasses, RegisterLookUpAndUnregister) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = DefWindowProcA;
  cls.lpszClassName = "platformClassTest";
  const ATOM atom = RegisterClassA(&cls);
  ASSERT_NE(atom, 0);
  EXPECT_EQ(RegisterClassA(&cls), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  WNDCLASSA found{};
  ASSERT_TRUE(GetClassInfoA(nullptr, "PLATFORMCLASSTEST", &found)) << "class names ignore case";
  EXPECT_EQ(found.lpfnWndProc, &DefWindowProcA);

  HWND window = CreateWindowA("platformClassTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(UnregisterClassA("platformClassTest", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(CloseHandle(window)) << "windows are destroyed, not closed";
  EXPECT_TRUE(UnregisterClassA("platformClassTest", nullptr));
  EXPECT_FALSE(GetClassInfoA(nullptr, "platformClassTest", &found));
  EXPECT_EQ(CreateWindowA("platformClassTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST(Windows, ValuesAndDirectSend) {
  TestWindow w;
  ASSERT_TRUE(IsWindow(w.hwnd));
  EXPECT_EQ(SetWindowLongPtrA(w.hwnd, 0, 77), 0);
  EXPECT_EQ(GetWindowLongPtrA(w.hwnd, 0), 77);
  for (int beyond : {4, 8}) {
    EXPECT_EQ(SetWindowLongPtrA(w.hwnd, beyond, 1), 0) << beyond;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX)) << beyond << ": beyond the class's extra bytes";
  }

  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutA(w.hwnd, kPing, 21, 0, SMTO_BLOCK, 3000, &result));
  EXPECT_EQ(result, 42u) << "the owning thread's send is a direct call";
  EXPECT_EQ(SendMessageA(w.hwnd, kPing, 5, 0), 10);
  EXPECT_EQ(w.seen().size(), 2u);
}

TEST(Messages, PostedMessagesKeepTheirOrderAndSentOnesComeFirst) {
  Drain();
  TestWindow w;
  for (WPARAM i = 1; i <= 5; ++i) ASSERT_TRUE(PostMessageA(w.hwnd, kPing, i, 0));
  DWORD_PTR sentResult = 0;
  std::thread sender([&] { SendMessageTimeoutA(w.hwnd, kOther, 100, 0, SMTO_BLOCK, 10000, &sentResult); });
  // WaitMessage handles the sent message when it arrives; the posted ones wait for the pump.
  while (w.seen().empty()) WaitMessage();
  sender.join();
  EXPECT_EQ(platform::PumpPendingMessages(), 5);
  const auto seen = w.seen();
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0], std::make_pair(kOther, WPARAM{100}));
  for (WPARAM i = 1; i <= 5; ++i) EXPECT_EQ(seen[i], std::make_pair(kPing, i));
  EXPECT_EQ(sentResult, 200u);
}

TEST(Messages, CrossThreadSendRunsOnTheOwnerAndReturnsTheResult) {
  TestWindow w;
  DWORD_PTR result = 0;
  LRESULT ok = 0;
  std::thread sender([&] { ok = SendMessageTimeoutA(w.hwnd, kPing, 9, 0, SMTO_BLOCK, 10000, &result); });
  while (w.seen().empty()) {
    WaitMessage();
    platform::PumpPendingMessages();
  }
  sender.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(result, 18u);
  EXPECT_EQ(w.recorder.threads.at(0), GetCurrentThreadId());
}

// A sender that gives up withdraws its message: the owner, pumping later, never sees it.
TEST(Messages, TimedOutSendIsWithdrawnNotHandledLater) {
  TestWindow w;
  LRESULT ok = 1;
  DWORD error = 0;
  std::thread sender([&] {
    DWORD_PTR result = 0;
    ok = SendMessageTimeoutA(w.hwnd, kPing, 1, 0, SMTO_BLOCK, 100, &result);
    error = GetLastError();
  });
  sender.join();  // the owner does not pump meanwhile
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(platform::PumpPendingMessages(), 0);
  EXPECT_TRUE(w.seen().empty());
}

TEST(Messages, DestroyingTheWindowReleasesAWaitingSender) {
  auto w = std::make_unique<TestWindow>();
  std::atomic<bool> queued{false};
  platform::SetMessageWakeHook([&](DWORD) { queued = true; });
  LRESULT ok = 1;
  DWORD error = 0;
  const auto start = std::chrono::steady_clock::now();
  std::thread sender([&] {
    DWORD_PTR result = 0;
    ok = SendMessageTimeoutA(w->hwnd, kPing, 1, 0, SMTO_BLOCK, 60000, &result);
    error = GetLastError();
  });
  while (!queued) std::this_thread::yield();
  platform::SetMessageWakeHook(nullptr);
  DestroyWindow(w->hwnd);
  sender.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_TRUE(w->seen().empty());
}

TEST(Messages, WindowsOfAnEndedThreadAreGoneAndTheirSendersReleased) {
  HWND orphan = nullptr;
  std::thread owner([&] {
    orphan = CreateWindowA(TestClass(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  });
  owner.join();
  EXPECT_FALSE(IsWindow(orphan));
  EXPECT_FALSE(PostMessageA(orphan, kPing, 0, 0));
  DWORD_PTR result;
  EXPECT_FALSE(SendMessageTimeoutA(orphan, kPing, 0, 0, SMTO_BLOCK, 1000, &result));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Messages, WakeHookNamesTheOwningThread) {
  TestWindow w;
  std::mutex mutex;
  std::vector<DWORD> woken;
  platform::SetMessageWakeHook([&](DWORD thread) {
    std::lock_guard lock(mutex);
    woken.push_back(thread);
  });
  std::thread([&] { PostMessageA(w.hwnd, kPing, 1, 0); }).join();
  platform::SetMessageWakeHook(nullptr);
  EXPECT_EQ(platform::PumpPendingMessages(), 1);
  ASSERT_EQ(woken.size(), 1u);
  EXPECT_EQ(woken[0], GetCurrentThreadId());
}

// A WM_QUIT stays queued for the host loop: the pump stops at it, a later Peek takes it, and
// GetMessageA reports it as FALSE.
TEST(Pump, StopsAtQuitAndLeavesItQueued) {
  Drain();
  TestWindow w;
  PostMessageA(w.hwnd, kPing, 1, 0);
  PostQuitMessage(3);
  PostMessageA(w.hwnd, kPing, 2, 0);  // posted after the quit, still handled before it
  EXPECT_EQ(platform::PumpPendingMessages(), 2);
  EXPECT_EQ(platform::PumpPendingMessages(), 0) << "the quit ends the pump again and stays";
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

// A handler that posts again (as a close-pending message does until its work is over) does not
// keep the pump busy: the new message waits for the next pump.
TEST(Pump, TakesOnlyWhatWasPendingWhenItStarted) {
  Drain();
  TestWindow w;
  int reposts = 0;
  w.recorder.onMessage = [&](HWND hwnd, UINT, WPARAM) -> LRESULT {
    if (++reposts < 100) PostMessageA(hwnd, kPing, 0, 0);
    return 0;
  };
  PostMessageA(w.hwnd, kPing, 0, 0);
  EXPECT_EQ(platform::PumpPendingMessages(), 1);
  EXPECT_EQ(platform::PumpPendingMessages(), 1);
  w.recorder.onMessage = nullptr;
  EXPECT_EQ(platform::PumpPendingMessages(), 1);
  EXPECT_EQ(platform::PumpPendingMessages(), 0);
}

TEST(Messages, PeekFiltersByWindowAndRange) {
  Drain();
  TestWindow a, b;
  PostMessageA(a.hwnd, kPing, 1, 0);
  PostMessageA(b.hwnd, kOther, 2, 0);
  PostMessageA(nullptr, kOther, 3, 0);  // a thread message
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, b.hwnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, kOther, kOther, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, kPing, kPing, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, a.hwnd);
  EXPECT_EQ(DispatchMessageA(&msg), 2);
}

// Without SMTO_BLOCK a sender handles what is sent to it while it waits, so two threads sending
// to each other's windows do not deadlock.
TEST(Messages, NonBlockingSendersServeEachOther) {
  TestWindow mine;
  std::unique_ptr<TestWindow> theirs;
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD_PTR theirResult = 0;
  std::thread other([&] {
    theirs = std::make_unique<TestWindow>();
    theirs->recorder.onMessage = [&](HWND, UINT, WPARAM) -> LRESULT {
      DWORD_PTR r = 0;
      SendMessageTimeoutA(mine.hwnd, kOther, 4, 0, SMTO_NORMAL, 10000, &r);
      return static_cast<LRESULT>(r + 1);
    };
    SetEvent(ready);
    while (WaitForSingleObject(finish, 0) == WAIT_TIMEOUT) {
      platform::PumpPendingMessages();
      std::this_thread::yield();
    }
    theirs.reset();
  });
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(SendMessageTimeoutA(theirs->hwnd, kPing, 0, 0, SMTO_NORMAL, 10000, &theirResult));
  EXPECT_EQ(theirResult, 9u);
  SetEvent(finish);
  other.join();
  CloseHandle(ready);
  CloseHandle(finish);
}

// Many senders against one pumping owner: every message is answered or withdrawn, never both.
TEST(Messages, ManySendersWithShortTimeouts) {
  TestWindow w;
  std::atomic<int> answered{0}, withdrawn{0}, running{4};
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(w.hwnd, kPing, 1, 0, SMTO_BLOCK, 1, &result)) ++answered;
        else ++withdrawn;
      }
      --running;
      PostMessageA(w.hwnd, kOther, 0, 0);  // wakes the owner for the last check
    });
  }
  while (running > 0) {
    WaitMessage();
    platform::PumpPendingMessages();
  }
  for (auto& t : senders) t.join();
  platform::PumpPendingMessages();
  int handledPings = 0;
  for (auto& [message, wParam] : w.seen()) handledPings += message == kPing;
  EXPECT_EQ(answered + withdrawn, 800);
  // A message taken by the owner just as its sender timed out is handled but not answered; a
  // withdrawn one is never handled.
  EXPECT_GE(handledPings, answered.load());
  EXPECT_LE(handledPings, 800);
}

}  // namespace
