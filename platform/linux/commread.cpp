// Arrived input on Linux: one read() of the tty. A tty in raw mode hands over everything it
// holds up to the count asked for, so a short read means its queue is empty and only a full
// one needs FIONREAD for what stayed; error bits come from the driver's counters (none on a
// pty). The receive-event baseline moves on as ReadFile's does.
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/commread.h"
#include "platform/linux/comm_device.h"
#include "platform/linux/errno_map.h"

using namespace platform::detail;

namespace platform {

BOOL ReadArrivedInput(HANDLE Device, void* Buffer, DWORD Count, OVERLAPPED&, CommInput& Result) {
  Result = CommInput{};
  auto device = FindDevice(Device);
  if (!device) return FALSE;
  if (!Buffer && Count) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(device->mutex);
  DWORD failure = 0;
  if (device->closed) failure = ERROR_INVALID_HANDLE;
  else if (device->hungUp) failure = kHangUpError;
  if (failure) {
    SetLastErrorValue(failure);
    return FALSE;
  }
  Result.Errors = TakeErrorsLocked(*device);
  if (Count == 0) return TRUE;
  ssize_t n;
  do n = ::read(device->fd, Buffer, Count);  // -1 + errno on failure
  while (n < 0 && errno == EINTR);
  if (n == 0 || (n < 0 && errno == EIO)) {  // the far end is gone
    device->HangUpLocked();
    SetLastErrorValue(kHangUpError);
    return FALSE;
  }
  if (n < 0 && errno != EAGAIN) {
    SetLastErrorValue(Win32ErrorFromErrno(errno));
    return FALSE;
  }
  const DWORD got = n < 0 ? 0 : static_cast<DWORD>(n);
  device->rxBaseline -= std::min(device->rxBaseline, got);
  Result.Left = got == Count ? InputQueueCount(device->fd) : 0;
  device->lastInQueue = Result.Left;
  Result.Read = device->dcb.fNull ? static_cast<DWORD>(StripNulls(static_cast<char*>(Buffer), got)) : got;
  return TRUE;
}

}  // namespace platform
