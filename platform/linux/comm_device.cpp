// The device object behind a COM port handle: completion of overlapped operations and the
// helper thread that finishes what the driver could not take or give at once.
#include "platform/linux/comm_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/errno_map.h"
#include "platform/linux/winsync.h"

namespace platform::detail {
namespace {

constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;
// How often line changes, and input left unread in the driver, are looked at while a wait is
// pending: neither has a descriptor event of its own.
constexpr int kSampleMs = 50;

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

}  // namespace

Device::Device(int fd, bool isPty) : HandleObject(HandleKind::Device), fd(fd), isPty(isPty) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);        // -1 + errno on failure: checked by CreateFileA
  inlineWakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // -1 + errno on failure: checked by CreateFileA
}

Device::~Device() {
  {
    std::lock_guard lock(mutex);
    stopping_ = true;
  }
  WakeHelper();
  if (helper_.joinable()) helper_.join();
  // The exclusive flag outlives the descriptor: undo it, or every later non-root open fails.
  ::ioctl(fd, TIOCNXCL);  // -1 + errno on failure (not a tty any more): nothing to undo then
  ::close(fd);            // the flock goes with the descriptor; close errors are not actionable
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (inlineWakeFd_ >= 0) ::close(inlineWakeFd_);
}

void Device::Close() {
  {
    std::lock_guard lock(mutex);
    if (closed) return;
    closed = true;
    FailAllLocked(ERROR_OPERATION_ABORTED);
    stopping_ = true;
  }
  WakeHelper();
  if (helper_.joinable()) helper_.join();
}

void Device::KickLocked() {
  if (stopping_) return;
  if (!helper_.joinable()) helper_ = std::thread([this] { Run(); });
  else WakeHelper();
}

void Device::WakeHelper() {
  if (wakeFd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);  // EAGAIN only if already pending
}

void Device::CompleteLocked(PendingOp& op, DWORD error, DWORD eventBits) {
  if (op.kind == PendingOp::Kind::Wait && op.eventMask) *op.eventMask = error == 0 ? eventBits : 0;
  op.overlapped->InternalHigh = op.transferred;
  op.overlapped->Internal = error;
  if (op.overlapped->hEvent) SetEvent(op.overlapped->hEvent);  // FALSE if the caller closed it: nothing to wake
  completed.notify_all();
  if (op.kind == PendingOp::Kind::Wait && waitInline) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(inlineWakeFd_, &one, sizeof one);  // EAGAIN only if already pending
  }
}

void Device::FailAllLocked(DWORD error) {
  auto take = [](auto& queue) {
    auto taken = std::move(queue);
    queue.clear();
    return taken;
  };
  for (auto& op : take(reads)) CompleteLocked(*op, error);
  for (auto& op : take(writes)) CompleteLocked(*op, error);
  if (wait) {
    auto op = std::move(wait);
    CompleteLocked(*op, error);
  }
}

void Device::HangUpLocked() {
  hungUp = true;
  while (!reads.empty()) {
    auto op = std::move(reads.front());
    reads.pop_front();
    CompleteLocked(*op, kHangUpError);
  }
  while (!writes.empty()) {
    auto op = std::move(writes.front());
    writes.pop_front();
    CompleteLocked(*op, kHangUpError);
  }
  // The first wait reports the hang-up; a later one waits for SetCommMask or CloseHandle, so a
  // thread that keeps waiting on a dead device sleeps instead of spinning.
  if (wait && !hangUpReported) {
    hangUpReported = true;
    auto op = std::move(wait);
    CompleteLocked(*op, kHangUpError);
  }
}

void Device::AwaitLocked(std::unique_lock<std::mutex>& lock, const OVERLAPPED& overlapped) {
  completed.wait(lock, [&] { return overlapped.Internal != STATUS_PENDING; });
}

void Device::WatchForWaitLocked(short& events, int& timeout) const {
  const auto sooner = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
  if (eventMask & EV_RXCHAR) {
    // Input the caller left unread keeps POLLIN up: then look for growth at a modest rate
    // instead of polling for it.
    if (lastInQueue == 0) events |= POLLIN;
    else sooner(kSampleMs);
  }
  if ((eventMask & kLineEvents) && (hasModemLines || hasCounts)) sooner(kSampleMs);
}

void Device::AwaitWaitInline(std::unique_lock<std::mutex>& lock, const OVERLAPPED& overlapped) {
  waitInline = true;
  while (overlapped.Internal == STATUS_PENDING && wait && wait->overlapped == &overlapped) {
    pollfd fds[2] = {{inlineWakeFd_, POLLIN, 0}, {fd, 0, 0}};
    nfds_t count = 1;
    int timeout = -1;
    // After a hang-up the tty is never polled again (POLLHUP would return at once forever): the
    // wait then ends only by SetCommMask or CloseHandle, which write the wake descriptor.
    if (!hungUp) {
      count = 2;
      WatchForWaitLocked(fds[1].events, timeout);
    }
    lock.unlock();
    const int ready = ::poll(fds, count, timeout);  // -1 + errno (EINTR) on failure: just look again
    lock.lock();
    if (fds[0].revents & POLLIN) {
      uint64_t drained;
      [[maybe_unused]] ssize_t n = ::read(inlineWakeFd_, &drained, sizeof drained);  // EAGAIN if drained
    }
    if (ready <= 0 && timeout < 0) continue;
    if (overlapped.Internal != STATUS_PENDING || !wait || wait->overlapped != &overlapped) break;
    if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      HangUpLocked();
      continue;
    }
    if (const DWORD bits = CollectEventsLocked()) {
      auto op = std::move(wait);
      CompleteLocked(*op, ERROR_SUCCESS, bits);
    }
  }
  waitInline = false;
  AwaitLocked(lock, overlapped);  // completed meanwhile by another thread: nothing left to wait for
}

DWORD Device::CollectEventsLocked() {
  DWORD bits = 0;
  if (eventMask & EV_RXCHAR) {
    lastInQueue = InputQueueCount(fd);
    if (lastInQueue > rxBaseline) bits |= EV_RXCHAR;  // bytes arrived since the last report
    rxBaseline = lastInQueue;
  }
  if ((eventMask & kLineEvents) && (hasModemLines || hasCounts)) {
    const LineSample now = SampleLines(*this);
    const LineSample& was = eventSample;
    const int changed = now.lines ^ was.lines;
    if ((changed & TIOCM_CTS) || (now.haveCounts && now.cts != was.cts)) bits |= EV_CTS;
    if ((changed & TIOCM_DSR) || (now.haveCounts && now.dsr != was.dsr)) bits |= EV_DSR;
    if ((changed & TIOCM_CD) || (now.haveCounts && now.dcd != was.dcd)) bits |= EV_RLSD;
    if ((now.lines & ~was.lines & TIOCM_RI) || (now.haveCounts && now.rng != was.rng)) bits |= EV_RING;
    if (now.haveCounts && was.haveCounts) {
      if (now.brk != was.brk) bits |= EV_BREAK;
      if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
          now.bufOverrun != was.bufOverrun)
        bits |= EV_ERR;
    }
    eventSample = now;
  }
  return bits & eventMask;
}

void Device::ServiceLocked() {
  if (hungUp) return;
  // Writes, strictly in order.
  while (!writes.empty()) {
    PendingOp& op = *writes.front();
    const size_t left = op.data.size() - op.offset;
    const ssize_t n = left ? ::write(fd, op.data.data() + op.offset, left) : 0;  // -1 + errno on failure
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EIO) return HangUpLocked();
    if (n < 0 && errno != EAGAIN) {
      const DWORD error = Win32ErrorFromErrno(errno);
      auto done = std::move(writes.front());
      writes.pop_front();
      CompleteLocked(*done, error);
      continue;
    }
    if (n > 0) {
      op.offset += static_cast<size_t>(n);
      op.transferred += static_cast<DWORD>(n);
    }
    if (op.offset == op.data.size() || (op.deadline && Clock::now() >= *op.deadline)) {
      auto done = std::move(writes.front());
      writes.pop_front();
      CompleteLocked(*done, ERROR_SUCCESS);  // a write time-out ends the write short, not failed
      continue;
    }
    break;  // the driver is full: wait for POLLOUT
  }
  // Reads, in order.
  while (!reads.empty()) {
    PendingOp& op = *reads.front();
    const ssize_t n = ::read(fd, op.readBuffer + op.transferred, op.wanted - op.transferred);  // -1 + errno
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (n < 0 && errno == EIO)) return HangUpLocked();
    if (n < 0 && errno != EAGAIN) {
      const DWORD error = Win32ErrorFromErrno(errno);
      auto done = std::move(reads.front());
      reads.pop_front();
      CompleteLocked(*done, error);
      continue;
    }
    const auto now = Clock::now();
    if (n > 0) {
      rxBaseline -= std::min(rxBaseline, static_cast<DWORD>(n));
      const size_t kept = dcb.fNull ? StripNulls(op.readBuffer + op.transferred, static_cast<size_t>(n))
                                    : static_cast<size_t>(n);
      op.transferred += static_cast<DWORD>(kept);
      if (kept) op.lastByte = now;
    }
    const bool full = op.transferred == op.wanted;
    const bool expired = op.deadline && now >= *op.deadline;
    const bool quiet = op.interval && op.transferred > 0 && now - op.lastByte >= *op.interval;
    if (full || expired || quiet) {
      auto done = std::move(reads.front());
      reads.pop_front();
      CompleteLocked(*done, ERROR_SUCCESS);
      continue;
    }
    if (n > 0) continue;  // there may be more already
    break;
  }
  if (wait) {
    if (const DWORD bits = CollectEventsLocked()) {
      auto op = std::move(wait);
      CompleteLocked(*op, ERROR_SUCCESS, bits);
    }
  }
}

void Device::Run() {
  std::unique_lock lock(mutex);
  while (!stopping_) {
    ServiceLocked();
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, 0, 0}};
    nfds_t count = 1;
    int timeout = -1;
    const auto sooner = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
    // After a hang-up the descriptor is never polled again: POLLHUP would return at once forever.
    const bool watchWait = wait && !waitInline;
    if (!hungUp && (watchWait || !reads.empty() || !writes.empty())) {
      count = 2;
      if (!writes.empty()) {
        fds[1].events |= POLLOUT;
        if (writes.front()->deadline) sooner(MillisecondsUntil(*writes.front()->deadline));
      }
      if (!reads.empty()) {
        fds[1].events |= POLLIN;
        const PendingOp& op = *reads.front();
        if (op.deadline) sooner(MillisecondsUntil(*op.deadline));
        if (op.interval && op.transferred > 0) sooner(MillisecondsUntil(op.lastByte + *op.interval));
      }
      if (watchWait) WatchForWaitLocked(fds[1].events, timeout);
    }
    lock.unlock();
    const int ready = ::poll(fds, count, timeout);  // -1 + errno (EINTR) on failure: just look again
    lock.lock();
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) {
      uint64_t drained;
      [[maybe_unused]] ssize_t n = ::read(wakeFd_, &drained, sizeof drained);  // EAGAIN if already drained
    }
    if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) HangUpLocked();
  }
}

DWORD InputQueueCount(int fd) {
  int count = 0;
  if (::ioctl(fd, FIONREAD, &count) != 0) return 0;  // -1 + errno on failure (hung up): nothing to read
  return count > 0 ? static_cast<DWORD>(count) : 0;
}

size_t StripNulls(char* data, size_t length) {
  char* end = std::remove(data, data + length, '\0');
  return static_cast<size_t>(end - data);
}

std::shared_ptr<Device> FindDevice(HANDLE handle) { return FindHandleAs<Device>(handle, HandleKind::Device); }

}  // namespace platform::detail
