// Events, waits, the handle table and the per-thread last error.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/winapi.h"

namespace {

using namespace std::chrono_literals;

struct EventHandle {
  HANDLE h;
  EventHandle(bool manual, bool initial) : h(CreateEventA(nullptr, manual, initial, nullptr)) {}
  ~EventHandle() {
    if (h) CloseHandle(h);
  }
  operator HANDLE() const { return h; }
};

TEST(Events, ResetModesAndInitialState) {
  EventHandle autoSet(false, true), manualSet(true, true), manualClear(true, false);
  ASSERT_NE(autoSet.h, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoSet, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoSet, 0), WAIT_TIMEOUT) << "an auto-reset event is consumed by the wait";
  EXPECT_EQ(WaitForSingleObject(manualSet, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manualSet, 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
  EXPECT_TRUE(ResetEvent(manualSet));
  EXPECT_EQ(WaitForSingleObject(manualSet, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(manualClear, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(manualClear));
  EXPECT_EQ(WaitForSingleObject(manualClear, INFINITE), WAIT_OBJECT_0);
}

TEST(Events, TimedWaitTimesOutAfterItsTime) {
  EventHandle event(false, false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 60), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
}

TEST(Events, WaitAnyReturnsLowestSignalledIndexAndConsumesOnlyIt) {
  EventHandle a(false, false), b(false, true), c(false, true);
  const HANDLE all[] = {a, b, c};
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_OBJECT_0 + 2) << "c kept its signal";
  EXPECT_EQ(WaitForMultipleObjects(3, all, FALSE, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForMultipleObjects(0, all, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Events, WaitAllNeedsEveryEventAtOnce) {
  EventHandle a(false, true), b(true, false);
  const HANDLE both[] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0) << "a failed wait-all consumes nothing";
  SetEvent(a);
  std::thread setter([&] { SetEvent(b); });
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 5000), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
}

// SetEvent on an auto-reset event releases exactly one of the blocked waiters; closing the event
// ends the others' waits with ERROR_OPERATION_ABORTED.
TEST(Events, AutoResetReleasesOneWaiterAndCloseAbortsTheRest) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE released = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  constexpr int kWaiters = 4;
  std::atomic<int> woken{0}, aborted{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      const DWORD r = WaitForSingleObject(event, INFINITE);
      if (r == WAIT_OBJECT_0) ++woken;
      else if (r == WAIT_FAILED && GetLastError() == ERROR_OPERATION_ABORTED) ++aborted;
      SetEvent(released);
    });
  }
  SetEvent(event);
  ASSERT_EQ(WaitForSingleObject(released, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the signal went to exactly one waiter";
  EXPECT_EQ(WaitForSingleObject(released, 50), WAIT_TIMEOUT) << "a second waiter was released";
  EXPECT_TRUE(CloseHandle(event));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 1);
  EXPECT_EQ(aborted.load(), kWaiters - 1);
  CloseHandle(released);
}

TEST(Handles, StaleHandlesFailAndValuesAreNeverReserved) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(first));
  std::vector<HANDLE> later;
  for (int i = 0; i < 100; ++i) {
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(h, first) << "a closed handle's value came back";
    EXPECT_LE(reinterpret_cast<uintptr_t>(h), 0x7fffffffu);
    later.push_back(h);
  }
  SetLastError(0);
  EXPECT_FALSE(SetEvent(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(first));
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  for (HANDLE h : later) EXPECT_TRUE(CloseHandle(h));
}

TEST(Handles, LastErrorBelongsToTheThread) {
  // Set and read with nothing between that could set it too (starting and joining a thread
  // may, on Windows).
  DWORD seenThere = 0;
  std::atomic<int> stage{0};
  std::thread other([&] {
    while (stage != 1) std::this_thread::yield();
    seenThere = GetLastError();
    SetLastError(42);
    stage = 2;
  });
  SetLastError(1234);
  stage = 1;
  while (stage != 2) std::this_thread::yield();
  const DWORD mine = GetLastError();
  other.join();
  EXPECT_NE(seenThere, 1234u);
  EXPECT_EQ(mine, 1234u);
}

TEST(Threads, IdsAreDistinctAndStable) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_EQ(GetCurrentThreadId(), mine);
  DWORD theirs = 0;
  std::thread([&] { theirs = GetCurrentThreadId(); }).join();
  EXPECT_NE(theirs, mine);
  EXPECT_NE(theirs, 0u);
}

// Ping-pong between two threads over two auto-reset events, with a third thread closing and
// creating unrelated events meanwhile: no signal may be lost or duplicated.
TEST(Events, PingPongUnderChurn) {
  EventHandle ping(false, false), pong(false, false);
  constexpr int kRounds = 2000;
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      HANDLE h = CreateEventA(nullptr, FALSE, TRUE, nullptr);
      WaitForSingleObject(h, 0);
      CloseHandle(h);
    }
  });
  std::thread partner([&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_EQ(WaitForSingleObject(ping, 10000), WAIT_OBJECT_0);
      SetEvent(pong);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    SetEvent(ping);
    ASSERT_EQ(WaitForSingleObject(pong, 10000), WAIT_OBJECT_0) << "round " << i;
  }
  partner.join();
  stop = true;
  churn.join();
}

TEST(Clock, MillisecondClockIsMonotonic) {
  const uint64_t a = platform::MillisecondClock();
  Sleep(20);
  const uint64_t b = platform::MillisecondClock();
  EXPECT_GE(b - a, 20u);
}

}  // namespace
