// Internals of the serial comm API: the device object behind a COM port handle, its pending
// overlapped operations and the helper thread that completes them.
//
// Lock: Device::mutex guards all mutable state of a device, and the caller's OVERLAPPED records
// and event-mask words while their operation is pending. It may be held while setting an event
// (events have their own leaf lock) but never while waiting for anything but `completed`.
//
// Operations that cannot finish at once (a write the driver cannot take yet, a wait for comm
// events, a read with time-outs) are queued here; the device's helper thread polls the
// descriptor and completes them, writing the result into the OVERLAPPED (Internal = Win32 error
// or STATUS_PENDING, InternalHigh = bytes) and setting its event.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct termios;

#include "platform/linux/handles.h"
#include "platform/linux/wincomm.h"
#include "platform/linux/winerror.h"

namespace platform::detail {

// What pending operations and later calls fail with once the device has hung up.
constexpr DWORD kHangUpError = ERROR_DEVICE_NOT_CONNECTED;

using Clock = std::chrono::steady_clock;

struct PendingOp {
  enum class Kind { Wait, Read, Write };
  Kind kind;
  OVERLAPPED* overlapped;          // the caller's record (or one on the caller's stack)
  DWORD* eventMask = nullptr;      // Wait: where the events go
  char* readBuffer = nullptr;      // Read: the caller's buffer
  DWORD wanted = 0;                // Read: bytes asked for
  std::vector<char> data;          // Write: the bytes not yet taken by the driver
  size_t offset = 0;               // Write: bytes of `data` already written
  DWORD transferred = 0;           // bytes read or written so far
  std::optional<Clock::time_point> deadline;  // total time-out, if any
  std::optional<Clock::duration> interval;    // Read: time-out between bytes, once one arrived
  Clock::time_point lastByte{};    // Read: when the last byte arrived
};

// Modem lines and driver counters as last sampled, for turning changes into events.
struct LineSample {
  int lines = 0;  // TIOCM_* bits
  bool haveCounts = false;
  int cts = 0, dsr = 0, rng = 0, dcd = 0, brk = 0;    // transition counters (TIOCGICOUNT)
  int frame = 0, overrun = 0, parity = 0, bufOverrun = 0;
};

class Device final : public HandleObject {
public:
  Device(int fd, bool isPty);
  ~Device() override;
  void Close() override;

  bool ready() const { return wakeFd_ >= 0 && inlineWakeFd_ >= 0; }  // false if a wake-up descriptor could not be made

  const int fd;
  const bool isPty;  // no modem lines and no real baud: the shadow DCB answers for them

  std::mutex mutex;
  std::condition_variable completed;  // notified whenever an operation completes

  // --- state, all guarded by `mutex` ---
  bool closed = false;           // CloseHandle has run: new operations fail
  bool hungUp = false;           // the far end is gone (POLLHUP, read 0, EIO); permanent
  bool hangUpReported = false;   // a wait has already failed for the hang-up; later ones just wait
  bool hasModemLines = false;    // TIOCMGET works
  bool hasCounts = false;        // TIOCGICOUNT works
  bool rs485Enabled = false;     // RTS toggle switched the driver's RS-485 mode on
  DCB dcb{};                     // the caller's settings (what termios cannot hold, and a pty's baud)
  COMMTIMEOUTS timeouts{};
  DWORD eventMask = 0;           // SetCommMask
  DWORD rxBaseline = 0;          // driver input count at the last EV_RXCHAR, less bytes read since
  DWORD lastInQueue = 0;         // driver input count at the last look (helper's poll decision)
  DWORD pendingErrors = 0;       // CE_* bits not yet reported by ClearCommError
  LineSample eventSample;        // baseline for modem-line and break/error events
  LineSample errorSample;        // baseline for ClearCommError's error bits
  DWORD inQueueSize = 4096, outQueueSize = 4096;  // SetupComm (informational on Linux)
  std::unique_ptr<PendingOp> wait;                // the pending WaitCommEvent, if any
  bool waitInline = false;       // a thread blocked in GetOverlappedResult watches the tty for
                                 // the pending wait itself; the helper leaves the wait to it
  std::deque<std::unique_ptr<PendingOp>> reads;   // pending reads, oldest first
  std::deque<std::unique_ptr<PendingOp>> writes;  // pending writes, in order

  // Starts (once) or wakes the helper thread. mutex held.
  void KickLocked();
  // Completes `op` with a Win32 error (0 = success): fills the OVERLAPPED, sets its event and
  // wakes GetOverlappedResult waiters. mutex held.
  void CompleteLocked(PendingOp& op, DWORD error, DWORD eventBits = 0);
  // Completes every pending operation (the wait too) with `error`. mutex held.
  void FailAllLocked(DWORD error);
  // Marks the device hung up and fails what is pending (a wait only the first time). mutex held.
  void HangUpLocked();
  // Blocks until the operation on `overlapped` has completed. mutex held through `lock`.
  void AwaitLocked(std::unique_lock<std::mutex>& lock, const OVERLAPPED& overlapped);
  // Blocks until the pending wait (on `overlapped`) has completed, watching the tty on the calling
  // thread: arriving bytes wake the waiter directly instead of through the helper thread, one
  // thread hop less on every received batch. mutex held through `lock`.
  void AwaitWaitInline(std::unique_lock<std::mutex>& lock, const OVERLAPPED& overlapped);

  // Events (masked) that happened since the last report; updates the baselines. mutex held.
  DWORD CollectEventsLocked();
  // Writes, reads and the wait, as far as the driver allows now. mutex held.
  void ServiceLocked();

private:
  void Run();  // the helper thread
  void WakeHelper();
  // What the pending wait needs from poll: POLLIN on the tty while no unread input sits in the
  // driver, else a look every kSampleMs; a look every kSampleMs for line changes. `timeout` is
  // lowered, never raised (-1 = none). mutex held.
  void WatchForWaitLocked(short& events, int& timeout) const;

  int wakeFd_ = -1;           // eventfd that interrupts the helper's poll
  int inlineWakeFd_ = -1;     // eventfd that interrupts an inline waiter's poll
  bool stopping_ = false;     // (mutex) the helper must end
  std::thread helper_;        // started on first need, joined by Close or the destructor
};

// Samples the modem lines and counters the device supports.
LineSample SampleLines(const Device& device);
// The CE_* error bits since the last report (from the driver's counters where it keeps them),
// cleared. device.mutex held.
DWORD TakeErrorsLocked(Device& device);
// Bytes waiting in the driver's input queue (0 if it cannot tell).
DWORD InputQueueCount(int fd);
// Drops NUL bytes in place (DCB fNull); returns the new length.
size_t StripNulls(char* data, size_t length);

// termios as every COM port runs it: raw, CLOCAL, CREAD (comm_state.cpp).
void MakeRawTermios(termios& tio);
// The shadow DCB of a freshly opened port, from its termios.
void InitialiseShadowDcb(Device& device, const termios& tio);

// The device behind a handle, refusing handles that are closed; sets the last error on failure.
std::shared_ptr<Device> FindDevice(HANDLE handle);

}  // namespace platform::detail
