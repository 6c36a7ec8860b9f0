// Shared set-up of the comm API tests: a private device-map folder per test, comN links to
// pseudo-terminals, and a few helpers for overlapped calls and thread CPU time.
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

#include "platform/winapi.h"

namespace commtest {

inline std::string UniqueFolder() {
  const char* base = std::getenv("DRAVIK_DEVICEMAP");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string folder = std::string(base && *base ? base : "/tmp/dravik-platform-tests") + "/" +
                       info->test_suite_name() + "." + info->name() + "." + std::to_string(::getpid());
  return folder;
}

// Gives each test its own device-map folder (tests of one executable may run in parallel).
class CommTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = UniqueFolder();
    std::filesystem::create_directories(folder_);
    ::chmod(folder_.c_str(), 0755);  // the unprivileged child must be able to read it
    ::setenv("DRAVIK_DEVICEMAP", folder_.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void Link(int number, const std::string& target) {
    const std::string path = folder_ + "/com" + std::to_string(number);
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path << ": " << errno;
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
inline double ThreadCpuMs(std::thread& thread) {
  clockid_t clock;
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0) return -1;
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Writes all of `text` to a non-blocking pty master.
inline void WriteMaster(int master, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(master, text.data() + done, text.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR) FAIL() << "write to master: " << errno;
  }
}

}  // namespace commtest
