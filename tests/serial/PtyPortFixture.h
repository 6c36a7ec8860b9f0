// Test support for the device layer over real pseudo-terminals: a pty pair linked as a COM port
// in the test's private device map, a hidden message window on the test thread that receives
// the dispatcher's trigger messages, the platform message pump driven from the test thread, and
// helpers to talk at the pty's master end.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/HostPty.h"
#include "platform/winapi.h"
#include "serial/AdSelComProbe.h"
#include "serial/AwWin32.h"

namespace devlayer_test {

// A comN link (N above 100) in the device map, or under Wine in the prefix's dosdevices, taken atomically (parallel test processes share the folder)
// and removed again on destruction.
class PortLink {
public:
  explicit PortLink(const std::string& target);
  ~PortLink();
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;
  int Number() const { return number_; }
  std::string DevicePath() const { return ComDevicePath(number_); }

private:
  std::string folder_;
  int number_ = 0;
};

// A port number that no device map lists (the map only knows COM1 to COM255).
inline constexpr int MissingPortNumber = 999;

// Handles this thread's messages until Done() is true or TimeoutMs passed; true when done.
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 10000);

// Threads of this process right now.
int ProcessThreadCount();
// Waits (pumping) until the process has at most Count threads; true when it has.
bool WaitForThreadCount(int Count, int TimeoutMs = 10000);

// CPU time the whole process has used, in seconds.
double ProcessCpuSeconds();

// Writes all of Bytes at the pty master.
void WriteMaster(int Master, const std::string& Bytes);
// Reads from the pty master until Count bytes arrived or TimeoutMs passed, pumping this
// thread's messages between reads.
std::string ReadMaster(int Master, size_t Count, int TimeoutMs = 10000);
// Reads whatever the master has now, without waiting.
std::string DrainMaster(int Master);

// A recognisable byte pattern: byte i of a stream is a function of i.
std::string Pattern(size_t Start, size_t Count);

// A pty pair linked as a COM port, a dispatcher for it, and a message window on the test thread
// through which the dispatcher's trigger messages arrive.
class PtyPortTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Opens Dispatcher on the linked port (9600 8N1, DTR and RTS on) and registers Window with
  // it for trigger messages, data-available threshold 1.
  int OpenDispatcher(uint32_t InSize = 4096, uint32_t OutSize = 4096);
  // The same with a dispatcher the test made (a subclass that hooks the device layer).
  int OpenDispatcher(std::unique_ptr<TApdWin32Dispatcher> Made, uint32_t InSize = 4096,
                     uint32_t OutSize = 4096);
  // Destroys the dispatcher (joining its threads).
  void DestroyDispatcher() { Dispatcher.reset(); }

  // Called on the test thread for each trigger message: (message, wParam, lParam).
  std::function<void(UINT, WPARAM, LPARAM)> OnTrigger;

  std::unique_ptr<testsupport::HostPty> Pty;
  std::unique_ptr<PortLink> Link;
  std::unique_ptr<TApdWin32Dispatcher> Dispatcher;
  HWND Window = nullptr;
  int BaseThreads = 0;  // threads before the test opened anything

private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam);
};

}  // namespace devlayer_test
