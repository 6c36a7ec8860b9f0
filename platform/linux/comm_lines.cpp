// Modem lines, line errors and the device status: EscapeCommFunction, GetCommModemStatus,
// ClearCommError, and the line sampling behind the line events.
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "platform/linux/comm_device.h"
#include "platform/linux/errno_map.h"

namespace platform::detail {

LineSample SampleLines(const Device& device) {
  LineSample sample;
  if (device.hasModemLines) ::ioctl(device.fd, TIOCMGET, &sample.lines);  // -1 + errno: lines read as off
  serial_icounter_struct counts{};
  if (device.hasCounts && ::ioctl(device.fd, TIOCGICOUNT, &counts) == 0) {  // -1 + errno on failure
    sample.haveCounts = true;
    sample.cts = counts.cts;
    sample.dsr = counts.dsr;
    sample.rng = counts.rng;
    sample.dcd = counts.dcd;
    sample.brk = counts.brk;
    sample.frame = counts.frame;
    sample.overrun = counts.overrun;
    sample.parity = counts.parity;
    sample.bufOverrun = counts.buf_overrun;
  }
  return sample;
}

DWORD TakeErrorsLocked(Device& device) {
  if (device.hasCounts) {
    const LineSample now = SampleLines(device);
    const LineSample& was = device.errorSample;
    if (now.haveCounts && was.haveCounts) {
      if (now.frame != was.frame) device.pendingErrors |= CE_FRAME;
      if (now.overrun != was.overrun) device.pendingErrors |= CE_OVERRUN;
      if (now.parity != was.parity) device.pendingErrors |= CE_RXPARITY;
      if (now.bufOverrun != was.bufOverrun) device.pendingErrors |= CE_RXOVER;
      if (now.brk != was.brk) device.pendingErrors |= CE_BREAK;
    }
    device.errorSample = now;
  }
  const DWORD errors = device.pendingErrors;
  device.pendingErrors = 0;
  return errors;
}

}  // namespace platform::detail

using namespace platform::detail;

namespace {

// A pty refuses modem-line and break ioctls; that is "no such lines", not a failure.
bool Refused(int error) { return error == ENOTTY || error == EINVAL; }

BOOL Fail(DWORD error) {
  SetLastErrorValue(error);
  return FALSE;
}

}  // namespace

BOOL EscapeCommFunction(HANDLE handle, DWORD function) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  int result = 0;
  int bits = 0;
  switch (function) {
    case SETDTR: bits = TIOCM_DTR; result = ::ioctl(device->fd, TIOCMBIS, &bits); break;  // -1 + errno
    case CLRDTR: bits = TIOCM_DTR; result = ::ioctl(device->fd, TIOCMBIC, &bits); break;
    case SETRTS: bits = TIOCM_RTS; result = ::ioctl(device->fd, TIOCMBIS, &bits); break;
    case CLRRTS: bits = TIOCM_RTS; result = ::ioctl(device->fd, TIOCMBIC, &bits); break;
    case SETBREAK: result = ::ioctl(device->fd, TIOCSBRK); break;  // -1 + errno on failure
    case CLRBREAK: result = ::ioctl(device->fd, TIOCCBRK); break;
    case SETXOFF: result = ::tcflow(device->fd, TCOOFF); break;  // -1 + errno on failure
    case SETXON: result = ::tcflow(device->fd, TCOON); break;
    default: return Fail(ERROR_INVALID_PARAMETER);
  }
  if (result != 0 && !Refused(errno)) return Fail(Win32ErrorFromErrno(errno));
  return TRUE;
}

BOOL GetCommModemStatus(HANDLE handle, LPDWORD modemStatus) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!modemStatus) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  *modemStatus = 0;
  if (!device->hasModemLines) return TRUE;  // a pty: all lines off
  int lines = 0;
  if (::ioctl(device->fd, TIOCMGET, &lines) != 0) {  // -1 + errno on failure
    if (Refused(errno)) return TRUE;
    return Fail(Win32ErrorFromErrno(errno));
  }
  if (lines & TIOCM_CTS) *modemStatus |= MS_CTS_ON;
  if (lines & TIOCM_DSR) *modemStatus |= MS_DSR_ON;
  if (lines & TIOCM_RI) *modemStatus |= MS_RING_ON;
  if (lines & TIOCM_CD) *modemStatus |= MS_RLSD_ON;
  return TRUE;
}

// Error bits come from the driver's error counters (where it keeps them); the queue counts from
// the driver plus the bytes of writes still pending here.
BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  const DWORD taken = TakeErrorsLocked(*device);
  if (errors) *errors = taken;
  // Without a status record the queues are not looked at: no ioctl on a pty.
  if (status) {
    *status = COMSTAT{};
    status->cbInQue = InputQueueCount(device->fd);
    int outQueue = 0;
    if (::ioctl(device->fd, TIOCOUTQ, &outQueue) != 0) outQueue = 0;  // -1 + errno: count it as empty
    DWORD pending = 0;
    for (const auto& op : device->writes) pending += static_cast<DWORD>(op->data.size() - op->offset);
    status->cbOutQue = static_cast<DWORD>(outQueue > 0 ? outQueue : 0) + pending;
  }
  return TRUE;
}
