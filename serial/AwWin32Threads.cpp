// TApdWin32Dispatcher's six signals, and starting, stopping and joining its three worker
// threads, and their priorities.
#include <chrono>

#include "platform/clock.h"
#include "platform/msgpump.h"
#include "platform/sysutils.h"
#include "platform/threadprio.h"
#include "serial/AwWin32.h"

TApdWin32Dispatcher::Signals TApdWin32Dispatcher::ReadSignals() {
  std::lock_guard state(StateLock);
  return {DeviceEventSignal, PassDoneSignal,      HandshakeSignal,
          OutputReadySignal, WriteCompleteSignal, OutputFlushSignal};
}

// User-interface thread (OpenPort): all auto-reset but the write completion.
bool TApdWin32Dispatcher::CreateSignals() {
  std::lock_guard state(StateLock);
  DeviceEventSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  PassDoneSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HandshakeSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  OutputReadySignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  WriteCompleteSignal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  OutputFlushSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return DeviceEventSignal && PassDoneSignal && HandshakeSignal && OutputReadySignal && WriteCompleteSignal &&
         OutputFlushSignal;
}

// Whichever thread stops the workers, once they have stopped; the destructor.
void TApdWin32Dispatcher::CloseSignals() {
  std::lock_guard state(StateLock);
  for (HANDLE* signal : {&DeviceEventSignal, &PassDoneSignal, &HandshakeSignal, &OutputReadySignal,
                         &WriteCompleteSignal, &OutputFlushSignal}) {
    if (*signal) {
      CloseHandle(*signal);
      *signal = nullptr;
    }
  }
}

// Dispatch thread (DispatchPass).
void TApdWin32Dispatcher::SignalPassDone() {
  const HANDLE passDone = ReadSignals().PassDone;
  if (passDone) SetEvent(passDone);
}

// User-interface thread (the last step of OpenPort).
void TApdWin32Dispatcher::StartThreads() {
  {
    std::lock_guard state(StateLock);
    if (ThreadsActive) throw platform::Exception("Dispatcher already started");
    ThreadsActive = true;
    KillThreads = false;
  }
  // Thread objects of an earlier run have ended (threads were not active); collect them.
  JoinThreads();
  EnsureSyncWindow();
  const Signals signals = ReadSignals();
  {
    std::lock_guard output(OutputLock);
    OutOverlapped = OVERLAPPED{};
    OutOverlapped.hEvent = signals.WriteComplete;
  }
  // All three objects exist before the first thread runs, so the array never changes while a
  // worker may look at it.
  Threads[tkComThread] = std::make_unique<TComThread>(*this);
  Threads[tkDispThread] = std::make_unique<TDispThread>(*this);
  Threads[tkOutThread] = std::make_unique<TOutThread>(*this);

  uint8_t boost;
  {
    std::lock_guard state(StateLock);
    boost = PriorityBoost;
  }
  for (TApdThreadKind kind : {tkComThread, tkDispThread, tkOutThread}) {
    NoteThreadStarting(kind);
    Threads[kind]->Start();
    // No message pumping here: a thread's start never depends on this thread, and a trigger
    // handler must not run before the port has finished opening. A thread that does not answer
    // in time does not stop the start.
    if (WaitForSingleObject(signals.Handshake, ThreadStartWaitMs) == WAIT_TIMEOUT) ++WaitTimeouts;
    if (boost) SetWorkerPriority(kind, boost);
  }
}

// Runs on the user-interface thread (close, destroy) or on the dispatch thread as it ends after
// a close from inside a trigger handler. Signals, then waits with a bound: the final joins are
// the destructor's. No dispatcher lock is held while it waits or pumps.
void TApdWin32Dispatcher::StopThreads() {
  {
    std::lock_guard state(StateLock);
    if (!ThreadsActive) return;
    KillThreads = true;
  }
  const Signals signals = ReadSignals();

  if (ThreadExists(tkOutThread)) {
    if (signals.OutputFlush) SetEvent(signals.OutputFlush);
    if (!WaitThreadEnd(tkOutThread, ThreadStopWaitMs)) ++WaitTimeouts;
  }

  if (ThreadExists(tkComThread)) {
    const HANDLE device = Device();
    if (device != INVALID_HANDLE_VALUE) SetCommMask(device, 0);
    if (signals.PassDone) SetEvent(signals.PassDone);
    if (signals.Handshake) ResetEvent(signals.Handshake);
    if (!WaitThreadEnd(tkComThread, ThreadStopWaitMs)) ++WaitTimeouts;
  }

  // The dispatch thread never waits for itself; it is ending already when it gets here.
  const bool onDispatchThread = Threads[tkDispThread] && Threads[tkDispThread]->IsCallingThread();
  if (!onDispatchThread && ThreadExists(tkDispThread)) {
    // It may be waiting for a device event without a limit (PassInterval).
    if (signals.DeviceEvent) SetEvent(signals.DeviceEvent);
    if (!WaitThreadEnd(tkDispThread, ThreadStopWaitMs)) {
      ++WaitTimeouts;
      if (signals.DeviceEvent) SetEvent(signals.DeviceEvent);
      if (!WaitThreadEnd(tkDispThread, ThreadStopWaitMs)) ++WaitTimeouts;
    }
    // Still running: it ends within a bounded time (see the header); the buffers it uses are
    // freed by itself as it ends, and the destructor joins it.
  }
  // A thread that has just cleared its reference may still be inside ThreadFinished (the dispatch
  // thread, woken by the receive thread's end, often is): the stop is complete once the running
  // count has reached 0, so a caller that finds every reference gone also finds threads inactive.
  if (!onDispatchThread && !ThreadExists(tkComThread) && !ThreadExists(tkOutThread) &&
      !ThreadExists(tkDispThread) && !WaitPumping([this] { return !ThreadsActive; }, ThreadStopWaitMs))
    ++WaitTimeouts;

  if (!ThreadExists(tkComThread) && !ThreadExists(tkOutThread) &&
      (onDispatchThread || !ThreadExists(tkDispThread)))
    CloseSignals();
}

bool TApdWin32Dispatcher::WaitThreadEnd(TApdThreadKind Thread, uint64_t TimeoutMs) {
  // The dispatch thread may be blocked sending a trigger message to a window of this thread,
  // so this thread's messages are handled while it waits.
  return WaitPumping([this, Thread] { return !ThreadExists(Thread); }, TimeoutMs);
}

// User-interface thread: the destructor (once no worker runs) and StartThreads.
void TApdWin32Dispatcher::JoinThreads() {
  for (auto& thread : Threads) {
    if (!thread) continue;
    thread->Join();
    thread.reset();
  }
}

// User-interface thread (ApplyPriorityBoost, SelectRS485Mode, StartThreads).
void TApdWin32Dispatcher::SetWorkerPriority(TApdThreadKind Thread, int LevelsAboveNormal) {
  // ThreadFinished clears a thread's presence under StateLock, so while the lock is held a
  // thread that exists has not ended and its id is still its own.
  std::lock_guard state(StateLock);
  if (!Threads[Thread] || !ThreadExists(Thread)) return;
  const uint64_t id = Threads[Thread]->PriorityId();
  if (id) platform::SetThreadPriorityLevel(id, LevelsAboveNormal);
}
