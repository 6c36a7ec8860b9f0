// The bodies of TApdWin32Dispatcher's worker threads: the common start and end
// (TApdDispatcherThread), the receive thread (TComThread), the dispatch thread (TDispThread) and
// the output thread (TOutThread) with its write-out of the output ring.
#include <algorithm>
#include <exception>

#include "platform/hooks.h"
#include "platform/threadprio.h"
#include "serial/AwWin32.h"

// --- TApdDispatcherThread ---

TApdDispatcherThread::TApdDispatcherThread(TApdWin32Dispatcher& Owner, TApdThreadKind Kind)
    : Dispatcher(Owner), ThreadKind(Kind) {}

TApdDispatcherThread::~TApdDispatcherThread() { Join(); }

void TApdDispatcherThread::Start() { Thread = std::thread([this] { Run(); }); }

void TApdDispatcherThread::Join() {
  if (Thread.joinable() && Thread.get_id() != std::this_thread::get_id()) Thread.join();
}

bool TApdDispatcherThread::IsCallingThread() const {
  return Thread.get_id() == std::this_thread::get_id();
}

void TApdDispatcherThread::Finish() {
  if (Finished) return;
  Finished = true;
  Dispatcher.ThreadFinished(ThreadKind);
}

// Runs on the worker thread: the whole life of the thread.
void TApdDispatcherThread::Run() {
  OsPriorityId = platform::CurrentThreadPriorityId();
  std::string error;
  bool failed = false;
  try {
    Execute();
  } catch (const std::exception& e) {
    failed = true;
    error = e.what();
  } catch (...) {
    failed = true;
    error = "Unknown error in a serial port thread";
  }
  if (!Finished) {
    // Ended by an exception: it still reports its end, so the running thread count reaches 0.
    try {
      AbandonAfterException();
    } catch (...) {
    }
    Finish();
  }
  Dispatcher.NotifyThreadEnded();
  if (failed) platform::ShowErrorMessage(error);  // posted to the user-interface thread
}

// --- TComThread: receive ---

TComThread::TComThread(TApdWin32Dispatcher& Owner) : TApdDispatcherThread(Owner, tkComThread) {}

TComThread::~TComThread() {
  Join();
  if (Overlapped.hEvent) CloseHandle(Overlapped.hEvent);
}

void TComThread::EndWait() {
  const TApdWin32Dispatcher::Signals signals = Dispatcher.ReadSignals();
  if (signals.Handshake) SetEvent(signals.Handshake);
  if (Overlapped.hEvent) {
    CloseHandle(Overlapped.hEvent);
    Overlapped.hEvent = nullptr;
  }
  const bool stopping = Dispatcher.KillThreads;
  Finish();
  // The dispatch thread may be waiting without a limit: from now on its timed passes are the
  // only input path. (During a stop StopThreads wakes it, once it has taken the stopping over.)
  if (!stopping && signals.DeviceEvent) SetEvent(signals.DeviceEvent);
}

void TComThread::AbandonAfterException() { EndWait(); }

// Runs on the receive thread.
void TComThread::Execute() {
  TApdWin32Dispatcher& d = Dispatcher;
  const TApdWin32Dispatcher::Signals signals = d.ReadSignals();
  Overlapped = OVERLAPPED{};
  Overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HANDLE device = d.Device();
  SetCommMask(device, DefaultDeviceEventMask);
  // Reads return at once with what has arrived; writes have no time-out.
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  SetCommTimeouts(device, &timeouts);
  SetEvent(signals.Handshake);

  if (!Overlapped.hEvent) {
    // Without its event the thread cannot wait for device events; input still arrives through
    // the dispatch thread's timed passes.
    EndWait();
    return;
  }
  do {
    // The platform fills the mask when a pending wait completes: it lives with the thread
    // object, not on this stack.
    DWORD& events = EventMask;
    events = 0;
    if (!d.DeviceWaitEvent(events, &Overlapped)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        DWORD unused = 0;
        if (!GetOverlappedResult(device, &Overlapped, &unused, TRUE)) {
          // The handle was closed or the device hung up: this thread ends. Without a close in
          // progress the device is gone for good.
          if (!d.KillThreads) d.HungUp = true;
          EndWait();
          return;
        }
        ResetEvent(Overlapped.hEvent);
      } else {
        // The device refuses event waits altogether: waiting again would fail at once, over
        // and over. End like a failed pending wait.
        if (!d.KillThreads) d.HungUp = true;
        EndWait();
        return;
      }
    }
    if (events & EV_RING) d.RingEventSeen = true;
    d.EventBits = events;
    if (d.KillThreads) break;
    // Wake the dispatch thread and wait until its pass has taken what the event announced.
    SetEvent(signals.DeviceEvent);
    if (WaitForSingleObject(signals.PassDone, INFINITE) == WAIT_FAILED) break;  // closed
  } while (!d.KillThreads);
  EndWait();
}

// --- TDispThread: dispatch ---

TDispThread::TDispThread(TApdWin32Dispatcher& Owner) : TApdDispatcherThread(Owner, tkDispThread) {}

void TDispThread::AbandonAfterException() {
  Dispatcher.ReleaseOnThreadExit = Dispatcher.ClosePending || Dispatcher.KillThreads;
}

// Any thread.
void TApdWin32Dispatcher::WakeDispatchThread() {
  const HANDLE deviceEvent = ReadSignals().DeviceEvent;
  if (deviceEvent) SetEvent(deviceEvent);
}

// Runs on the dispatch thread. Ending, it may release the buffers itself (ThreadFinished):
// after a close from inside a trigger handler the release is left to this thread.
void TDispThread::Execute() {
  TApdWin32Dispatcher& d = Dispatcher;
  const TApdWin32Dispatcher::Signals signals = d.ReadSignals();
  SetEvent(signals.Handshake);
  do {
    // Timed passes only while something can become due without a device event; otherwise the
    // thread sleeps until the receive thread, an armed trigger or the stop wakes it.
    const DWORD wake = WaitForSingleObject(signals.DeviceEvent, d.PassInterval(DispatchWakeMs));
    if (d.KillThreads || wake == WAIT_FAILED) {
      // A failed wait means the signals are gone, which happens only once stopping began.
      d.ReleaseOnThreadExit = d.KillThreads || d.ClosePending;
      Finish();
      return;
    }
    d.DispatchPass();
  } while (!d.KillThreads && !d.ClosePending);
  SetEvent(signals.Handshake);
  d.ReleaseOnThreadExit = true;
  Finish();
}

// --- TOutThread: output ---

TOutThread::TOutThread(TApdWin32Dispatcher& Owner) : TApdDispatcherThread(Owner, tkOutThread) {}

// Runs on the output thread.
void TOutThread::Execute() {
  TApdWin32Dispatcher& d = Dispatcher;
  const TApdWin32Dispatcher::Signals signals = d.ReadSignals();
  SetEvent(signals.Handshake);
  do {
    const HANDLE idle[2] = {signals.OutputReady, signals.OutputFlush};
    const DWORD wake = WaitForMultipleObjects(2, idle, FALSE, INFINITE);
    if (wake == WAIT_OBJECT_0) {
      if (d.KillThreads || !WriteOut()) break;
    } else if (wake == WAIT_OBJECT_0 + 1) {
      SetEvent(signals.Handshake);  // the flush is acknowledged: nothing is being written
    } else {
      break;  // the signals are gone: stopping has begun
    }
  } while (!d.KillThreads && !d.ClosePending);
  Finish();
}

// Writes blocks until the ring is empty. A flush during a write leaves at once (the purging
// thread empties the ring). False when the signals are gone.
bool TOutThread::WriteOut() {
  TApdWin32Dispatcher& d = Dispatcher;
  const TApdWin32Dispatcher::Signals signals = d.ReadSignals();
  uint32_t offset, length;
  uint64_t generation;
  while (d.NextOutputBlock(offset, length, generation)) {
    const HANDLE device = d.Device();
    DWORD written = 0;
    ResetEvent(signals.WriteComplete);
    // The block stays where it is while it is written: the user-interface thread only adds
    // bytes in the free part of the ring, and a purge first waits for this thread.
    const uint8_t* block = d.OutputBytes(offset);
    if (WriteFile(device, block, length, &written, &d.OutOverlapped)) {
      d.RetireOutput(written, generation);
    } else if (GetLastError() == ERROR_IO_PENDING) {
      for (;;) {
        const HANDLE writing[2] = {signals.WriteComplete, signals.OutputFlush};
        const DWORD wake = WaitForMultipleObjects(2, writing, FALSE, INFINITE);
        if (wake == WAIT_OBJECT_0 + 1) {
          SetEvent(signals.Handshake);
          return true;
        }
        if (wake != WAIT_OBJECT_0) return false;
        ResetEvent(signals.WriteComplete);
        if (GetOverlappedResult(device, &d.OutOverlapped, &written, FALSE)) {
          d.RetireOutput(written, generation);
          break;
        }
        // Still in progress (a completion signal left over): keep waiting for this write.
        if (GetLastError() == ERROR_IO_INCOMPLETE) continue;
        // The result cannot be fetched: the block is still in the ring and is written again,
        // unless the device has gone, where it would fail for ever.
        if (d.DeviceGone()) d.RetireOutput(length, generation);
        break;
      }
    } else {
      d.RetireOutput(length, generation);  // failed outright: the block is dropped
    }
  }
  return true;
}
