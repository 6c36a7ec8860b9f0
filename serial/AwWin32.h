// The Win32 device layer: TApdWin32Dispatcher implements the dispatcher's device operations over
// the Win32 communications API on an overlapped device handle, and owns the three worker threads
// that keep an open port running:
//   TComThread  (receive)  waits for device events and wakes the dispatch thread;
//   TDispThread (dispatch) runs the dispatch passes and delivers trigger events;
//   TOutThread  (output)   writes the output ring to the device.
//
// Thread lifetime: StartThreads (user-interface thread) creates the three std::threads;
// StopThreads only signals them and waits with a bound; the destructor (user-interface thread)
// joins all three once none is running. No thread is detached and none joins itself.
//
// Why every worker thread ends once kill threads is set and the device is closed (ClosePort
// closes the device before the threads are stopped):
//   receive:  its device-event wait is aborted by SetCommMask(0) and by closing the handle; its
//             wait for PassDoneSignal is released by StopThreads (and by DeviceClose);
//   output:   both of its waits include OutputFlushSignal, which StopThreads sets; a write on a
//             closed device fails at once;
//   dispatch: it waits for a device event (at most 50 ms while something can become due without
//             one, see PassInterval); StopThreads sets that signal before it waits for it,
//             and a receive thread ending outside a stop does too; a pass does a bounded
//             amount of work
//             (each window delivery waits at most 3000 ms, reads never wait for more bytes than
//             have arrived) and the loop ends when kill threads is seen.
// A wait that finds its signal closed (WAIT_FAILED) ends the thread too, so nothing can spin.
// So the destructor's final wait and join always return; if the dispatch thread outlives the
// bounded waits of StopThreads, the buffers it uses stay allocated until it frees them itself
// as it ends, and the dispatcher object stays alive until the destructor has joined it.
//
// Locks: InputLock before OutputLock before StateLock (inherited). None is held while a thread
// waits for another, while the calling thread pumps messages or during WriteFile.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/winapi.h"
#include "serial/AwUser.h"

class TApdWin32Dispatcher;

// Device event mask on the NT family of Windows (and on Linux): EV_RXCHAR, EV_CTS, EV_DSR,
// EV_RLSD, EV_BREAK, EV_ERR, EV_RING. Every platform this builds for is of that family; the
// ring trailing-edge event of older drivers is never asked for.
inline constexpr DWORD DefaultDeviceEventMask = 0x1F9;

// Bounds of the thread hand-offs, in milliseconds.
inline constexpr DWORD ThreadStartWaitMs = 3000;    // each thread's start acknowledgement
inline constexpr DWORD OutputFlushWaitMs = 5000;    // the output thread's flush acknowledgement
inline constexpr DWORD DispatchWakeMs = 50;         // the dispatch thread's pass interval
inline constexpr uint64_t ThreadStopWaitMs = 36 * MillisecondsPerTick;  // one stop wait (~2 s)

// Base of the three worker threads: owns the std::thread, runs the body, and makes sure the
// dispatcher hears of the thread's end (ThreadFinished) on every path, an exception included.
// A synchronised method call made on the dispatch thread passes through here: the call is stored
// in the thread object and run on the thread that started the workers.
class TApdDispatcherThread {
public:
  TApdDispatcherThread(TApdWin32Dispatcher& Dispatcher, TApdThreadKind Kind);
  virtual ~TApdDispatcherThread();
  TApdDispatcherThread(const TApdDispatcherThread&) = delete;
  TApdDispatcherThread& operator=(const TApdDispatcherThread&) = delete;

  TApdThreadKind Kind() const { return ThreadKind; }
  // Starts the thread (user-interface thread).
  void Start();
  // Waits for the thread to return, if it was started and has not been joined; never joins the
  // calling thread itself (user-interface thread).
  void Join();
  bool IsCallingThread() const;
  // The OS id the priority service uses; 0 until the thread has started.
  uint64_t PriorityId() const { return OsPriorityId.load(); }

  // The synchronised call: runs Method on the user-interface thread with the given message and
  // waits until it has run (or the delivery time-out passed: false). Dispatch thread.
  bool Synchronize(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam, LPARAM lParam);
  // Runs the stored call (user-interface thread, from the synchronisation window).
  void RunStoredCall();

protected:
  // The thread body; it ends by calling Finish().
  virtual void Execute() = 0;
  // Cleanup of the body's own resources when an exception ended it before Finish().
  virtual void AbandonAfterException() {}
  // The thread's last act on the dispatcher: ThreadFinished, once.
  void Finish();

  TApdWin32Dispatcher& Dispatcher;  // the owner; outlives the thread (it joins it)

private:
  void Run();

  const TApdThreadKind ThreadKind;
  std::thread Thread;                        // joined by Join (user-interface thread)
  std::atomic<uint64_t> OsPriorityId{0};     // set by the thread as it starts
  bool Finished = false;                     // Finish has run (this thread only)
  std::mutex CallMutex;                      // guards the stored synchronised call
  TApdNotifyMethod CallMethod;               // the method, message, wParam and lParam of the
  UINT CallMsg = 0;                          // synchronised call in progress (CallMutex)
  WPARAM CallWParam = 0;
  LPARAM CallLParam = 0;
};

// Receive thread: waits for device events; never reads data itself.
class TComThread final : public TApdDispatcherThread {
public:
  explicit TComThread(TApdWin32Dispatcher& Dispatcher);
  ~TComThread() override;

protected:
  void Execute() override;
  void AbandonAfterException() override;

private:
  void EndWait();
  OVERLAPPED Overlapped{};  // the device-event wait; its event is this thread's own
  DWORD EventMask = 0;      // the events the wait reports (filled by the platform)
};

// Dispatch thread: a pass on every device event, or after 50 ms without one.
class TDispThread final : public TApdDispatcherThread {
public:
  explicit TDispThread(TApdWin32Dispatcher& Dispatcher);

protected:
  void Execute() override;
  void AbandonAfterException() override;
};

// Output thread: writes the output ring to the device in as few writes as possible.
class TOutThread final : public TApdDispatcherThread {
public:
  explicit TOutThread(TApdWin32Dispatcher& Dispatcher);

protected:
  void Execute() override;

private:
  // Writes until the ring is empty; false when the thread is to stop waiting for more.
  bool WriteOut();
};

class TApdWin32Dispatcher : public TApdBaseDispatcher {
public:
  // Owner may be null (a dispatcher made only to probe a port).
  explicit TApdWin32Dispatcher(TApdCustomComPort* Owner);
  ~TApdWin32Dispatcher() override;

  // --- Device operations (contracts in serial/AwUser.h) ---
  int DeviceEscape(int Function) override;
  int DevicePurge(TPurgeQueue Queue) override;
  uint32_t DeviceErrors(COMSTAT* Status) override;
  int DeviceGetState(DCB& Settings) override;
  int DeviceRead(uint8_t* Buffer, uint32_t Count, TArrivedInput& Status) override;
  int DeviceSetState(DCB& Settings) override;
  int DeviceWrite(const OutputGuard& Held, const uint8_t* Data, uint32_t Count) override;
  bool DeviceWaitEvent(DWORD& Mask, LPOVERLAPPED Overlapped) override;
  bool DeviceSizeQueues(uint32_t InSize, uint32_t OutSize) override;
  void StartThreads() override;
  void StopThreads() override;
  LONG_PTR DeviceOpen(const std::string& Name, uint32_t InSize, uint32_t OutSize) override;
  int DeviceClose() override;
  int DeviceYield() override;
  DWORD DeviceModemStatus() override;

  // True once the device hung up while the port was open (the receive thread's event wait
  // failed without a close): input then stops and the device is gone for good. Any thread.
  bool DeviceGone() const override { return HungUp.load(); }
  // How many of the bounded waits of StopThreads and DevicePurge ran out of time since the
  // dispatcher was created: 0 on every orderly close. Any thread.
  int StopWaitTimeouts() const { return WaitTimeouts.load(); }

protected:
  void JoinThreads() override;
  bool CreateSignals() override;
  void CloseSignals() override;
  void SignalPassDone() override;
  bool RunSynchronized(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam,
                       LPARAM lParam) override;
  void WakeDispatchThread() override;
  void WakeOutputThread() override;
  void SetWorkerPriority(TApdThreadKind Thread, int LevelsAboveNormal) override;

private:
  friend class TApdDispatcherThread;
  friend class TComThread;
  friend class TDispThread;
  friend class TOutThread;

  HANDLE Device() const { return reinterpret_cast<HANDLE>(DeviceHandle.load()); }
  // The six signals, read under StateLock (CloseSignals may run on another thread).
  struct Signals {
    HANDLE DeviceEvent, PassDone, Handshake, OutputReady, WriteComplete, OutputFlush;
  };
  Signals ReadSignals();
  // Waits until the thread of that kind has ended or TimeoutMs passed, handling the calling
  // thread's window messages meanwhile; false on time-out.
  bool WaitThreadEnd(TApdThreadKind Thread, uint64_t TimeoutMs);
  // Creates the synchronisation window on the calling (user-interface) thread, once.
  void EnsureSyncWindow();

  // --- Device (the handle itself is the inherited DeviceHandle) ---
  OVERLAPPED ReadOverlapped{};   // DeviceRead's record, manual-reset event (InputLock)
  OVERLAPPED OutOverlapped{};    // the output thread's writes; event WriteCompleteSignal
                                 // (output thread; set up by StartThreads before it runs)
  std::atomic<bool> HungUp{false};     // the device hung up while open (receive thread sets)
  std::atomic<int> WaitTimeouts{0};    // bounded waits that ran out (any thread)

  // --- The six signals: made by OpenPort before the threads start, closed once they have
  // stopped; read through ReadSignals (StateLock), as CloseSignals may run on another thread.
  HANDLE DeviceEventSignal = nullptr;      // receive -> dispatch: a device event (auto)
  HANDLE PassDoneSignal = nullptr;         // dispatch -> receive: pass input part done (auto)
  HANDLE HandshakeSignal = nullptr;        // thread started / flush honoured / stopped (auto)
  HANDLE OutputReadySignal = nullptr;      // DeviceWrite -> output thread (auto)
  HANDLE WriteCompleteSignal = nullptr;    // overlapped write completed (manual)
  HANDLE OutputFlushSignal = nullptr;      // purge/stop -> output thread (auto)

  // --- Worker threads (created and joined on the user-interface thread) ---
  // Declared after what the threads touch, so the objects (which join) go first.
  std::array<std::unique_ptr<TApdDispatcherThread>, 3> Threads;  // by TApdThreadKind
  HWND SyncWindow = nullptr;             // runs synchronised calls (user-interface thread)
};
