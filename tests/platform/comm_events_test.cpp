// Comm events over a pty: EV_RXCHAR as an edge, waits that sleep, ending a wait with
// SetCommMask(0) or CloseHandle, a waiting thread beside a pending write, the hang-up of the far
// end, and ReadFile racing CloseHandle.
#if !defined(_WIN32)
#  include <fcntl.h>
#endif

#include <atomic>
#include <chrono>
#include <vector>

#include "tests/platform/comm_fixture.h"

namespace {

using namespace std::chrono_literals;
using commtest::CommTest;
using commtest::Overlapped;
using commtest::ThreadCpuMs;
using commtest::WriteMaster;

// Generous: the machine running the tests is shared and loaded.
constexpr DWORD kPrompt = 2000;
// A sleeping thread uses next to nothing; a spinning one uses most of the interval.
constexpr double kIdleCpuMs = 40;

class CommEvents : public CommTest {
protected:
  void SetUp() override {
    CommTest::SetUp();
    Link(102, pty.slavePath());
    port = Open(102);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
    ReturnAtOnce(port);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING));
  }
  void TearDown() override {
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    CommTest::TearDown();
  }

  // Starts an overlapped wait that must go pending.
  void StartPendingWait(Overlapped& ov, DWORD& mask) {
    ASSERT_FALSE(WaitCommEvent(port, &mask, &ov));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  }

  testsupport::HostPty pty;
  HANDLE port = INVALID_HANDLE_VALUE;
};

TEST_F(CommEvents, ArrivingBytesCompleteAPendingWaitAndReadReturnsThemAtOnce) {
  Overlapped ov;
  DWORD mask = 0xdead;
  StartPendingWait(ov, mask);
  DWORD transferred;
  EXPECT_FALSE(GetOverlappedResult(port, &ov, &transferred, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

  WriteMaster(pty.master(), "abc");
  ASSERT_EQ(WaitForSingleObject(ov.ov.hEvent, kPrompt), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port, &ov, &transferred, TRUE));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));

  char buffer[16] = {};
  DWORD read = 0;
  Overlapped readOv;
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, &readOv));
  EXPECT_EQ(std::string(buffer, read), "abc");
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, &readOv));
  EXPECT_EQ(read, 0u) << "nothing more: the read returns at once with nothing";

  // Nothing new: the next wait stays pending.
  Overlapped again;
  StartPendingWait(again, mask);
  EXPECT_EQ(WaitForSingleObject(again.ov.hEvent, 100), WAIT_TIMEOUT);
  WriteMaster(pty.master(), "d");
  ASSERT_EQ(WaitForSingleObject(again.ov.hEvent, kPrompt), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(port, &again, &transferred, FALSE));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
}

// Bytes left unread in the driver were already reported: they neither complete the next wait
// nor keep the waiting thread busy; new bytes do complete it.
TEST_F(CommEvents, UnreadBytesAreReportedOnceAndTheWaiterSleeps) {
  WriteMaster(pty.master(), "xyz");
  DWORD mask = 0;
  {
    Overlapped ov;
    if (!WaitCommEvent(port, &mask, &ov)) {
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
      DWORD n;
      ASSERT_TRUE(GetOverlappedResult(port, &ov, &n, TRUE));
    }
    ASSERT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
  }
  std::atomic<bool> done{false};
  DWORD waitedMask = 0;
  BOOL waitResult = FALSE;
  std::thread waiter([&] {
    Overlapped ov;
    if (!WaitCommEvent(port, &waitedMask, &ov) && GetLastError() == ERROR_IO_PENDING) {
      DWORD n;
      waitResult = GetOverlappedResult(port, &ov, &n, TRUE);
    }
    done = true;
  });
  std::this_thread::sleep_for(50ms);  // let the waiter settle into its wait
  const double before = ThreadCpuMs(waiter);
  std::this_thread::sleep_for(200ms);
  const double used = ThreadCpuMs(waiter) - before;
  EXPECT_FALSE(done) << "old unread bytes completed a new wait";
  EXPECT_LT(used, kIdleCpuMs) << "the waiting thread is not asleep";
  WriteMaster(pty.master(), "!");
  waiter.join();
  EXPECT_TRUE(waitResult);
  EXPECT_EQ(waitedMask, static_cast<DWORD>(EV_RXCHAR));
}

TEST_F(CommEvents, SetCommMaskZeroFromAnotherThreadEndsTheWait) {
  BOOL ok = TRUE;
  DWORD error = 0;
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread receiver([&] {
    Overlapped ov;
    DWORD mask;
    if (!WaitCommEvent(port, &mask, &ov) && GetLastError() == ERROR_IO_PENDING) {
      SetEvent(started);
      DWORD n;
      ok = GetOverlappedResult(port, &ov, &n, TRUE);
      error = GetLastError();
    }
    SetEvent(started);
  });
  ASSERT_EQ(WaitForSingleObject(started, kPrompt), WAIT_OBJECT_0);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(SetCommMask(port, 0));
  receiver.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kPrompt));
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  DWORD mask;
  EXPECT_FALSE(WaitCommEvent(port, &mask, nullptr)) << "no wait with an empty mask";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(started);
}

TEST_F(CommEvents, CloseHandleFromAnotherThreadEndsTheWait) {
  BOOL ok = TRUE;
  DWORD error = 0;
  Overlapped ov;
  DWORD mask;
  StartPendingWait(ov, mask);
  std::thread receiver([&] {
    DWORD n;
    ok = GetOverlappedResult(port, &ov, &n, TRUE);
    error = GetLastError();
  });
  std::this_thread::sleep_for(20ms);  // usually inside GetOverlappedResult by now; either way it must end
  ASSERT_TRUE(CloseHandle(port));
  port = INVALID_HANDLE_VALUE;
  receiver.join();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE) << error;
  EXPECT_EQ(WaitForSingleObject(ov.ov.hEvent, 0), WAIT_OBJECT_0) << "the aborted wait sets its event";
}

// A thread blocked in GetOverlappedResult watches the tty for its own wait, while the device's
// helper thread goes on serving a write the pty cannot take: bytes arriving complete the wait
// (once), and the write still completes when the far end reads.
TEST_F(CommEvents, AWaitingThreadAndAPendingWriteAreBothServed) {
  const std::string big(256 * 1024, 'W');  // more than a pty buffers with nobody reading
  Overlapped write;
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port, big.data(), static_cast<DWORD>(big.size()), &written, &write));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

  for (int round = 0; round < 3; ++round) {
    Overlapped ov;
    DWORD mask = 0;
    StartPendingWait(ov, mask);
    BOOL ok = FALSE;
    std::thread receiver([&] {
      DWORD n;
      ok = GetOverlappedResult(port, &ov, &n, TRUE);
    });
    std::this_thread::sleep_for(20ms);  // usually blocked inside by now; either way it must end
    WriteMaster(pty.master(), "r");
    receiver.join();
    EXPECT_TRUE(ok) << "round " << round;
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR)) << "round " << round;
    char byte;
    DWORD read = 0;
    Overlapped readOv;
    ASSERT_TRUE(ReadFile(port, &byte, 1, &read, &readOv));
    EXPECT_EQ(read, 1u);
  }

  size_t drained = 0;
  char buffer[4096];
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (drained < big.size() && std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = commtest::ReadMaster(pty.master(), buffer, sizeof buffer);
    if (n > 0) drained += static_cast<size_t>(n);
    else std::this_thread::yield();
  }
  ASSERT_TRUE(GetOverlappedResult(port, &write, &written, TRUE));
  EXPECT_EQ(written, big.size());
  EXPECT_EQ(drained, big.size());
}

// The far end closing fails the pending wait through GetOverlappedResult. A receive loop that
// keeps waiting afterwards sleeps; closing the handle ends it.
TEST_F(CommEvents, HangUpFailsThePendingWaitAndLaterWaitsSleep) {
  std::atomic<int> failures{0};
  std::atomic<DWORD> firstError{0};
  HANDLE failed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread receiver([&] {
    for (;;) {
      Overlapped ov;
      DWORD mask = 0, n = 0;
      if (WaitCommEvent(port, &mask, &ov)) continue;
      if (GetLastError() != ERROR_IO_PENDING) {
        if (GetLastError() == ERROR_INVALID_HANDLE) return;
        ++failures;
        continue;
      }
      if (!GetOverlappedResult(port, &ov, &n, TRUE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE) return;
        if (failures++ == 0) firstError = error;
        SetEvent(failed);
      }
    }
  });
  pty.closeMaster();
  ASSERT_EQ(WaitForSingleObject(failed, kPrompt), WAIT_OBJECT_0);
  EXPECT_EQ(firstError.load(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  const double before = ThreadCpuMs(receiver);
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(ThreadCpuMs(receiver) - before, kIdleCpuMs) << "the receive loop spins after the hang-up";
  EXPECT_EQ(failures.load(), 1);

  char buffer[4];
  DWORD count;
  Overlapped io;
  EXPECT_FALSE(ReadFile(port, buffer, sizeof buffer, &count, &io));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(WriteFile(port, "x", 1, &count, &io));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  DWORD errors;
  COMSTAT status;
  EXPECT_FALSE(ClearCommError(port, &errors, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

  ASSERT_TRUE(CloseHandle(port));
  port = INVALID_HANDLE_VALUE;
  receiver.join();
  CloseHandle(failed);
}

#if !defined(_WIN32)  // Linux only (tests/wine/linux-only.txt)
// Reads racing CloseHandle either work on the port or fail; none reaches the descriptor the
// system hands out next (here a pipe that takes the freed number), which would steal its data.
TEST_F(CommEvents, ReadsRacingCloseNeverTouchAReusedDescriptor) {
  CloseHandle(port);
  port = INVALID_HANDLE_VALUE;
  for (int round = 0; round < 100; ++round) {
    HANDLE h = Open(102);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ReturnAtOnce(h);
    std::atomic<bool> go{false};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
      readers.emplace_back([&, h] {
        while (!go) std::this_thread::yield();
        char buffer[64];
        DWORD n;
        while (ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
        }
      });
    }
    go = true;
    ASSERT_TRUE(CloseHandle(h));
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC), 0);
    ASSERT_EQ(::write(pipeFds[1], "mark", 4), 4);
    for (auto& t : readers) t.join();
    char back[8] = {};
    EXPECT_EQ(::read(pipeFds[0], back, sizeof back), 4) << "round " << round;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
  }
}
#endif

}  // namespace
