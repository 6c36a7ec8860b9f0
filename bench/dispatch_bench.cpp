// Streams N bytes (default 1 MB) from a memory device through the dispatcher: each pass fills
// the dispatch buffer, announces the batch to a window on this thread and the window's
// handler reads every byte with ReadByte. Under callgrind only the stream is measured:
//   valgrind --tool=callgrind --instr-atstart=no build/default/bench/dispatch_bench 1048576
// then instructions per byte = the reported Ir / N.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/AwUser.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

// A device whose driver always holds the rest of the stream; output and settings do nothing.
class MemoryDispatcher : public TApdBaseDispatcher {
public:
  MemoryDispatcher() : TApdBaseDispatcher(nullptr) {}
  ~MemoryDispatcher() override { Shutdown(); }
  uint64_t Left = 0;
  uint8_t Next = 0;

  int DeviceEscape(int) override { return 0; }
  int DevicePurge(TPurgeQueue) override { return 0; }
  uint32_t DeviceErrors(COMSTAT* status) override {
    if (status) *status = COMSTAT{};
    return 0;
  }
  int DeviceGetState(DCB& dcb) override { dcb = Settings; return 0; }
  int DeviceRead(uint8_t* buffer, uint32_t count, TArrivedInput& status) override {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, Left));
    for (uint32_t i = 0; i < n; ++i) buffer[i] = Next++;
    Left -= n;
    status.Left = static_cast<uint32_t>(std::min<uint64_t>(Left, 0xFFFFFFFFu));
    return static_cast<int>(n);
  }
  int DeviceSetState(DCB& dcb) override { Settings = dcb; return 0; }
  int DeviceWrite(const OutputGuard&, const uint8_t*, uint32_t count) override { return static_cast<int>(count); }
  bool DeviceWaitEvent(DWORD&, LPOVERLAPPED) override { return false; }
  bool DeviceSizeQueues(uint32_t, uint32_t) override { return true; }
  void StartThreads() override {}
  void StopThreads() override {}
  LONG_PTR DeviceOpen(const std::string&, uint32_t, uint32_t) override { return 1; }
  int DeviceClose() override { DeviceHandle = -1; return 0; }
  int DeviceYield() override { return 0; }
  DWORD DeviceModemStatus() override { return 0; }

protected:
  bool CreateSignals() override { return true; }
  void CloseSignals() override {}
  void SignalPassDone() override {}

private:
  DCB Settings{};
};

MemoryDispatcher* port = nullptr;
uint64_t bytesRead = 0;

LRESULT CALLBACK ReadingHandler(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != TriggerAvailMessage) return DefWindowProcA(window, msg, wParam, lParam);
  uint8_t byte;
  for (WPARAM i = 0; i < wParam && port->ReadByte(byte) == 0; ++i) ++bytesRead;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t total = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : (1u << 20);
  WNDCLASSA cls{};
  cls.lpfnWndProc = ReadingHandler;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "dispatchBench";
  RegisterClassA(&cls);
  HWND window = CreateWindowA("dispatchBench", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  MemoryDispatcher dispatcher;
  port = &dispatcher;
  if (dispatcher.OpenPort("\\\\.\\COM1", 9600, NOPARITY, 8, 1, 4096, 4096, 3) != 0) return 1;
  dispatcher.AttachWindow(window);
  dispatcher.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  dispatcher.SetAvailThreshold(1);

  dispatcher.Left = total;
  CALLGRIND_START_INSTRUMENTATION;
  while (bytesRead < total) dispatcher.DispatchPass();
  CALLGRIND_STOP_INSTRUMENTATION;

  std::printf("%llu bytes read\n", static_cast<unsigned long long>(bytesRead));
  dispatcher.ClosePort();
  DestroyWindow(window);
  return bytesRead == total ? 0 : 1;
}
