// Shared set-up of the comm API tests: a private device-map folder per test, comN links to
// pseudo-terminals (under Wine: links in the prefix's dosdevices, numbers above 100 only), and
// a few helpers for overlapped calls and thread CPU time.
#pragma once
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/winapi.h"
#include "tests/support/HostPty.h"

namespace commtest {

inline std::string UniqueFolder() {
  const char* base = std::getenv("DRAVIK_DEVICEMAP");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string folder = std::string(base && *base ? base : "/tmp/dravik-platform-tests") + "/" +
                       info->test_suite_name() + "." + info->name() + "." + std::to_string(::getpid());
  return folder;
}

// Gives each test its own device-map folder (tests of one executable may run in parallel).
// Under Wine the folder is the prefix's dosdevices, shared: only the test's own links go.
class CommTest : public ::testing::Test {
protected:
  void SetUp() override {
#if defined(_WIN32)
    folder_ = testsupport::ComLinkFolder();
#else
    folder_ = UniqueFolder();
    std::filesystem::create_directories(folder_);
    ::chmod(folder_.c_str(), 0755);  // the unprivileged child must be able to read it
    ::setenv("DRAVIK_DEVICEMAP", folder_.c_str(), 1);
#endif
  }
  void TearDown() override {
    for (int number : linked_) testsupport::UnlinkComPort(folder_, number);
#if !defined(_WIN32)
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
#endif
  }

  // COM<number> opens `target`; under Wine only numbers above 100 (the low ones are the host's).
  void Link(int number, const std::string& target) {
#if defined(_WIN32)
    ASSERT_GT(number, 100);
#endif
    ASSERT_TRUE(testsupport::LinkComPort(folder_, number, target)) << "COM" << number << " is taken";
    linked_.push_back(number);
  }

  static HANDLE Open(int number) {
    const std::string name = "\\\\.\\COM" + std::to_string(number);
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  }

  // ReadIntervalTimeout = MAXDWORD, the rest 0: reads return at once with what has arrived.
  static void ReturnAtOnce(HANDLE port) {
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
  }

  std::string folder_;
  std::vector<int> linked_;
};

// An OVERLAPPED with its own manual-reset event.
struct Overlapped {
  OVERLAPPED ov{};
  Overlapped() { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() { CloseHandle(ov.hEvent); }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;
  OVERLAPPED* operator&() { return &ov; }
};

// CPU time a live thread has used, in milliseconds.
#if defined(_WIN32)
inline double ThreadCpuMs(std::thread& thread) {
  FILETIME created, exited, kernel, user;
  // FALSE on failure.
  if (!GetThreadTimes(pthread_gethandle(thread.native_handle()), &created, &exited, &kernel, &user)) return -1;
  const auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;  // 100 ns units
}
#else
inline double ThreadCpuMs(std::thread& thread) {
  clockid_t clock;
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0) return -1;
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}
#endif

// Writes all of `text` to a non-blocking pty master.
inline void WriteMaster(int master, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const long n = testsupport::HostWrite(master, text.data() + done, text.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else if (n < 0 && n != testsupport::HostEAGAIN && n != testsupport::HostEINTR) FAIL() << "write to master: " << -n;
  }
}

// Reads what the master has now: the byte count, 0 when nothing is there.
inline long ReadMaster(int master, char* buffer, size_t size) {
  const long n = testsupport::HostRead(master, buffer, size);
  return n > 0 ? n : 0;
}

}  // namespace commtest
