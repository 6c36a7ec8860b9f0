// Overlapped I/O on COM ports: ReadFile, WriteFile, WaitCommEvent, GetOverlappedResult and
// PurgeComm. What completes at once is reported at once (the OVERLAPPED's event set as well);
// the rest goes pending (ERROR_IO_PENDING) and the device's helper thread completes it. A null
// OVERLAPPED makes the call wait for its own completion.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/comm_device.h"
#include "platform/linux/errno_map.h"
#include "platform/linux/event_hooks.h"
#include "platform/linux/winsync.h"

using namespace platform::detail;

namespace {

BOOL Fail(DWORD error) {
  SetLastErrorValue(error);
  return FALSE;
}

// Records an operation that completed inside the call.
void CompleteNow(OVERLAPPED* overlapped, DWORD error, DWORD bytes) {
  if (!overlapped) return;
  overlapped->InternalHigh = bytes;
  overlapped->Internal = error;
  if (overlapped->hEvent) SetEvent(overlapped->hEvent);  // FALSE if the caller closed it: nothing to wake
}

// Starts waiting for a queued operation's completion. With the caller's OVERLAPPED this is
// ERROR_IO_PENDING; without one the call itself waits and returns the outcome.
BOOL PendOrAwait(Device& device, std::unique_lock<std::mutex>& lock, OVERLAPPED& overlapped, bool callerOwns,
                 LPDWORD transferred) {
  device.KickLocked();
  if (callerOwns) return Fail(ERROR_IO_PENDING);
  device.AwaitLocked(lock, overlapped);
  if (transferred) *transferred = static_cast<DWORD>(overlapped.InternalHigh);
  if (overlapped.Internal != ERROR_SUCCESS) return Fail(static_cast<DWORD>(overlapped.Internal));
  return TRUE;
}

// The wait hook of a pending event wait's OVERLAPPED event: someone is about to wait on the
// event, so the helper thread watches the tty for the wait (unless a thread already does).
void WatchPendingWait(HANDLE handle) {
  auto device = FindDevice(handle);
  if (!device) return;
  std::lock_guard lock(device->mutex);
  if (device->wait && !device->waitInline) device->KickLocked();
}

std::optional<Clock::time_point> Deadline(DWORD multiplier, DWORD constant, DWORD count) {
  if (multiplier == 0 && constant == 0) return std::nullopt;
  const uint64_t ms = static_cast<uint64_t>(multiplier) * count + constant;
  return Clock::now() + std::chrono::milliseconds(std::min<uint64_t>(ms, UINT32_MAX));
}

}  // namespace

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!buffer && toRead) return Fail(ERROR_INVALID_PARAMETER);
  if (read) *read = 0;
  std::unique_lock lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  if (overlapped) {
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    if (overlapped->hEvent) ResetEvent(overlapped->hEvent);
  }

  // First take what has already arrived.
  char* out = static_cast<char*>(buffer);
  DWORD got = 0;
  while (got < toRead) {
    const ssize_t n = ::read(device->fd, out + got, toRead - got);  // -1 + errno on failure
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n == 0 || (n < 0 && errno == EIO)) {  // the far end is gone
      device->HangUpLocked();
      CompleteNow(overlapped, kHangUpError, 0);
      return Fail(kHangUpError);
    }
    if (n < 0) {
      const DWORD error = Win32ErrorFromErrno(errno);
      CompleteNow(overlapped, error, 0);
      return Fail(error);
    }
    device->rxBaseline -= std::min(device->rxBaseline, static_cast<DWORD>(n));
    got += static_cast<DWORD>(device->dcb.fNull ? StripNulls(out + got, static_cast<size_t>(n)) : n);
  }

  const COMMTIMEOUTS& t = device->timeouts;
  const bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
  const bool untilFirstByte = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                              t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
  if (got == toRead || immediate || (untilFirstByte && got > 0)) {
    CompleteNow(overlapped, ERROR_SUCCESS, got);
    if (read) *read = got;
    return TRUE;
  }

  OVERLAPPED own{};
  OVERLAPPED& record = overlapped ? *overlapped : own;
  record.Internal = STATUS_PENDING;
  auto op = std::make_unique<PendingOp>();
  op->kind = PendingOp::Kind::Read;
  op->overlapped = &record;
  op->readBuffer = out;
  op->wanted = toRead;
  op->transferred = got;
  if (got) op->lastByte = Clock::now();
  if (untilFirstByte) {
    op->deadline = Deadline(0, t.ReadTotalTimeoutConstant, 0);
    op->interval = Clock::duration::zero();  // complete as soon as a byte is in
  } else {
    op->deadline = Deadline(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, toRead);
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
      op->interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  }
  device->reads.push_back(std::move(op));
  return PendOrAwait(*device, lock, record, overlapped != nullptr, read);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!buffer && toWrite) return Fail(ERROR_INVALID_PARAMETER);
  if (written) *written = 0;
  std::unique_lock lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->hungUp) return Fail(kHangUpError);
  if (overlapped) {
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    if (overlapped->hEvent) ResetEvent(overlapped->hEvent);
  }

  // Bytes go to the driver directly only when no earlier write is still pending (order).
  const char* data = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (device->writes.empty() && done < toWrite) {
    const ssize_t n = ::write(device->fd, data + done, toWrite - done);  // -1 + errno on failure
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0) {
      DWORD error = Win32ErrorFromErrno(errno);
      if (errno == EIO) {
        device->HangUpLocked();
        error = kHangUpError;
      }
      CompleteNow(overlapped, error, 0);
      return Fail(error);
    }
    done += static_cast<DWORD>(n);
  }
  if (done == toWrite) {
    CompleteNow(overlapped, ERROR_SUCCESS, done);
    if (written) *written = done;
    return TRUE;
  }

  OVERLAPPED own{};
  OVERLAPPED& record = overlapped ? *overlapped : own;
  record.Internal = STATUS_PENDING;
  auto op = std::make_unique<PendingOp>();
  op->kind = PendingOp::Kind::Write;
  op->overlapped = &record;
  op->data.assign(data + done, data + toWrite);  // copied: the caller's buffer may be reused
  op->transferred = done;
  const COMMTIMEOUTS& t = device->timeouts;
  op->deadline = Deadline(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, toWrite);
  device->writes.push_back(std::move(op));
  return PendOrAwait(*device, lock, record, overlapped != nullptr, written);
}

// Reports the events of the mask that happened since the last report, at once if there are
// any, else when the first one happens. After a hang-up the first wait fails (through the
// pending path); later waits stay pending until SetCommMask or CloseHandle ends them.
BOOL WaitCommEvent(HANDLE handle, LPDWORD eventMask, LPOVERLAPPED overlapped) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  std::unique_lock lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (device->eventMask == 0 || device->wait) return Fail(ERROR_INVALID_PARAMETER);
  if (eventMask) *eventMask = 0;
  if (overlapped && overlapped->hEvent) ResetEvent(overlapped->hEvent);

  if (!device->hungUp) {
    if (const DWORD bits = device->CollectEventsLocked()) {
      if (eventMask) *eventMask = bits;
      CompleteNow(overlapped, ERROR_SUCCESS, 0);
      return TRUE;
    }
  }
  OVERLAPPED own{};
  OVERLAPPED& record = overlapped ? *overlapped : own;
  record.Internal = STATUS_PENDING;
  record.InternalHigh = 0;
  auto op = std::make_unique<PendingOp>();
  op->kind = PendingOp::Kind::Wait;
  op->overlapped = &record;
  op->eventMask = eventMask;
  device->wait = std::move(op);
  if (device->hungUp && !device->hangUpReported) device->HangUpLocked();
  if (overlapped && device->wait && !device->hungUp) {
    // Nobody watches the tty for this wait yet: the thread that waits for it in
    // GetOverlappedResult does so itself (no helper involved); one that waits on the event or
    // asks GetOverlappedResult without waiting wakes the helper to do it.
    if (overlapped->hEvent) SetEventWaitHook(overlapped->hEvent, WatchPendingWait, handle);
    return Fail(ERROR_IO_PENDING);
  }
  return PendOrAwait(*device, lock, record, overlapped != nullptr, nullptr);
}

BOOL GetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (!overlapped) return Fail(ERROR_INVALID_PARAMETER);
  std::unique_lock lock(device->mutex);
  if (overlapped->Internal == STATUS_PENDING) {
    if (!wait) {
      // A caller that polls for the event wait gets the helper to watch the tty for it.
      if (device->wait && device->wait->overlapped == overlapped && !device->waitInline) device->KickLocked();
      return Fail(ERROR_IO_INCOMPLETE);
    }
    // The device's pending event wait is watched by the waiting thread itself.
    if (device->wait && device->wait->overlapped == overlapped && !device->waitInline)
      device->AwaitWaitInline(lock, *overlapped);
    else
      device->AwaitLocked(lock, *overlapped);
  }
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal != ERROR_SUCCESS) return Fail(static_cast<DWORD>(overlapped->Internal));
  return TRUE;
}

// Aborted operations complete with ERROR_OPERATION_ABORTED and the bytes they had moved; their
// events are set. Clearing empties the driver's queue.
BOOL PurgeComm(HANDLE handle, DWORD flags) {
  auto device = FindDevice(handle);
  if (!device) return FALSE;
  if (flags & ~static_cast<DWORD>(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
    return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(device->mutex);
  if (device->closed) return Fail(ERROR_INVALID_HANDLE);
  if (flags & PURGE_TXABORT) {
    while (!device->writes.empty()) {
      auto op = std::move(device->writes.front());
      device->writes.pop_front();
      device->CompleteLocked(*op, ERROR_OPERATION_ABORTED);
    }
  }
  if (flags & PURGE_RXABORT) {
    while (!device->reads.empty()) {
      auto op = std::move(device->reads.front());
      device->reads.pop_front();
      device->CompleteLocked(*op, ERROR_OPERATION_ABORTED);
    }
  }
  if (device->hungUp) return Fail(kHangUpError);
  const int queues = ((flags & PURGE_TXCLEAR) ? 1 : 0) | ((flags & PURGE_RXCLEAR) ? 2 : 0);
  if (queues) {
    static constexpr int kSelector[] = {0, TCOFLUSH, TCIFLUSH, TCIOFLUSH};
    if (::tcflush(device->fd, kSelector[queues]) != 0) return Fail(Win32ErrorFromErrno(errno));  // -1 + errno
    if (flags & PURGE_RXCLEAR) device->rxBaseline = device->lastInQueue = 0;
  }
  return TRUE;
}
