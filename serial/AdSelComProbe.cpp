// Port probing for the port selection dialog: open the device for a moment, through a temporary
// dispatcher or directly, and close it again.
#include <cstdio>
#include <memory>

#include "platform/winapi.h"
#include "serial/AdSelComProbe.h"
#include "serial/AwWin32.h"

namespace {

constexpr int ProbeQueueSize = 64;

// Whether a failed open still counts: the port exists but another program holds it.
bool BusyAvailable(DWORD error) { return BusyCountsAsAvailable && error == ERROR_ACCESS_DENIED; }

bool ProbeThroughDispatcher(const std::string& path) {
  // Owner-less: it takes a registry slot like any dispatcher and is freed on every path.
  auto dispatcher = std::make_unique<TApdWin32Dispatcher>(nullptr);
  if (dispatcher->DeviceOpen(path, ProbeQueueSize, ProbeQueueSize) >= 0) {
    dispatcher->DeviceClose();
    return true;
  }
  return BusyAvailable(GetLastError());  // read before the dispatcher goes
}

bool ProbeDirectly(const std::string& path) {
  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (device != INVALID_HANDLE_VALUE && reinterpret_cast<LONG_PTR>(device) > 0) {
    CloseHandle(device);
    return true;
  }
  return BusyAvailable(GetLastError());
}

}  // namespace

std::string ComDevicePath(int Number) {
  char path[13];  // "\\.\COM" + up to five digits + terminator
  std::snprintf(path, sizeof path, "\\\\.\\COM%d", Number);
  return path;
}

bool PortAvailable(int Number) {
  if (Number == 0) return false;
  const std::string path = ComDevicePath(Number);
  return ProbeWithDispatcher ? ProbeThroughDispatcher(path) : ProbeDirectly(path);
}
