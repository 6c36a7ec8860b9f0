// Support for the port component's tests: one QApplication per test executable whose event loop
// also pumps the platform's window messages (as in the program), the error reports shown during
// a test, waiting on the event loop, and pty pairs linked into the test's device-map folder as
// comN ports.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/pty.h"

class QApplication;

class PortTestEnvironment : public ::testing::Environment {
public:
  void SetUp() override;
  void TearDown() override;

private:
  std::unique_ptr<QApplication> app_;
};

// The messages given to platform::ShowErrorMessage since the last call (user-interface thread).
std::vector<std::string> TakeShownErrors();

// Runs the event loop (which pumps the platform's messages) until done() or the time-out; true
// when done() became true. The time-out only guards against a hang.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

// Runs the event loop for a while, so that anything that was going to arrive has arrived. Only
// for asserting that something does NOT happen.
void Settle(int ms = 300);

// The number of threads of this process. The first call starts and joins one thread first, so
// that helpers the runtime starts with the first thread (a sanitizer's background thread) are
// counted from the start.
int ThreadCount();

// A pty pair whose slave is linked as port COM<number> in the device-map folder.
class LinkedPty {
public:
  explicit LinkedPty(int number, bool holdSlave = true);
  ~LinkedPty();
  LinkedPty(const LinkedPty&) = delete;
  LinkedPty& operator=(const LinkedPty&) = delete;

  int Number() const { return number_; }
  platform::PtyPair& Pair() { return pair_; }
  // Writes at the master end (the instrument's side).
  void Write(const std::string& bytes);
  // Reads what the port sent until `count` bytes have come or the time-out passed.
  std::string Read(std::size_t count, int timeoutMs = 5000);

private:
  platform::PtyPair pair_;
  int number_;
};

// Creates (or replaces) the link comN -> target in the device-map folder; removes it.
void LinkPort(int number, const std::string& target);
void UnlinkPort(int number);
