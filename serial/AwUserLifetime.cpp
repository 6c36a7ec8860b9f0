// The dispatcher registry, and a dispatcher's lifetime: construction, OpenPort, ClosePort,
// the release of buffers and threads, ThreadFinished, and the destroy sequence.
#include <chrono>

#include "platform/msgpump.h"
#include "serial/AwUser.h"

namespace {

std::vector<TApdBaseDispatcher*>& Registry() {
  static std::vector<TApdBaseDispatcher*> registry;
  return registry;
}

// Set while a worker thread releases as it ends (ThreadFinished): such a thread never waits
// for another thread's stop, which waits for it.
thread_local bool EndingWorkerThread = false;

// Backstop for waiting on another thread's stop, in milliseconds. That stop ends within its own
// bounded waits (a few seconds at most); this only guards against a fault in it.
constexpr uint64_t StopHandOverWaitMs = 20000;

}  // namespace

std::recursive_mutex& DispatcherRegistryLock() {
  static std::recursive_mutex lock;
  return lock;
}

TApdBaseDispatcher* DispatcherFromHandle(int Handle) {
  std::lock_guard registryLock(DispatcherRegistryLock());
  auto& registry = Registry();
  if (Handle < 0 || Handle >= static_cast<int>(registry.size())) return nullptr;
  return registry[Handle];
}

int DispatcherRegistryCount() {
  std::lock_guard registryLock(DispatcherRegistryLock());
  return static_cast<int>(Registry().size());
}

void TriggerSaveRecord::Clear() {
  AvailThreshold = 0;
  TimerTriggers.clear();
  DataTriggers.clear();
  StatusTriggers.clear();
}

TApdBaseDispatcher::TApdBaseDispatcher(TApdCustomComPort* Owner) : OwnerComponent(Owner) {
  std::lock_guard registryLock(DispatcherRegistryLock());
  auto& registry = Registry();
  for (size_t i = 0; i < registry.size(); ++i) {
    if (!registry[i]) {
      registry[i] = this;
      DispatcherHandle = static_cast<int>(i);
      return;
    }
  }
  registry.push_back(this);
  DispatcherHandle = static_cast<int>(registry.size() - 1);
}

TApdBaseDispatcher::~TApdBaseDispatcher() {
  // The device steps of the destroy sequence ran in the concrete dispatcher's destructor
  // (Shutdown), which also closed its signals; what is left needs no device.
  Unregister();
}

void TApdBaseDispatcher::Unregister() {
  std::lock_guard registryLock(DispatcherRegistryLock());
  auto& registry = Registry();
  if (DispatcherHandle < 0 || DispatcherHandle >= static_cast<int>(registry.size()) ||
      registry[DispatcherHandle] != this)
    return;
  registry[DispatcherHandle] = nullptr;
  while (!registry.empty() && !registry.back()) registry.pop_back();
}

void TApdBaseDispatcher::SetOptionFlags(uint32_t Bits) {
  std::lock_guard state(StateLock);
  OptionWord |= Bits;
}

void TApdBaseDispatcher::ClearOptionFlags(uint32_t Bits) {
  std::lock_guard state(StateLock);
  OptionWord &= ~Bits;
}

uint32_t TApdBaseDispatcher::GetOptionFlags() {
  std::lock_guard state(StateLock);
  return OptionWord;
}

void TApdBaseDispatcher::SetDeviceName(const std::string& Name) {
  std::lock_guard state(StateLock);
  DeviceName = Name;
}

int TApdBaseDispatcher::FailOpen(int Code) {
  ClosePort();
  return Code;
}

// OpenPort step 4 and the resets of step 7: fresh buffers and counts for this opening.
void TApdBaseDispatcher::ResetForOpen(uint32_t InSize, uint32_t OutSize) {
  // Order: InputLock, OutputLock, StateLock.
  InputGuard input(InputLock);
  OutputGuard output(OutputLock);
  StateGuard state(StateLock);
  Input.Open(input);
  DriverInputLeft = InputBlocked = false;
  OutRing.Allocate(output, OutSize ? OutSize : 1);
  InQueueSize = InSize;
  OutQueueSize = OutSize;
  LineErrorWord = 0;
  RS485Mode = false;
}

int TApdBaseDispatcher::OpenPort(const std::string& Name, int Baud, int Parity, int DataBits,
                                 int StopBits, uint32_t InSize, uint32_t OutSize,
                                 uint32_t Options) {
  RingEventSeen = false;
  {
    // Order: InputLock, OutputLock, StateLock.
    InputGuard input(InputLock);
    OutputGuard output(OutputLock);
    StateGuard state(StateLock);
    Input.Release(input);
    OutRing.Free(output);
    HandlerRemovalPending = false;
  }
  InDelivery = false;
  CloseSignals();
  if (!CreateSignals()) return FailOpen(-ERROR_NOT_ENOUGH_MEMORY);

  const LONG_PTR device = DeviceOpen(Name, InSize, OutSize);
  if (device < 0) {
    const int code = device == -ERROR_NOT_ENOUGH_MEMORY ? -ERROR_NOT_ENOUGH_MEMORY
                                                        : -static_cast<int>(GetLastError());
    DeviceHandle = -1;
    return FailOpen(code);
  }
  DeviceHandle = device;
  if (!DeviceSizeQueues(InSize, OutSize)) return FailOpen(-static_cast<int>(GetLastError()));

  ResetForOpen(InSize, OutSize);
  OutputSent = false;
  ClosePending = false;

  {
    std::lock_guard state(StateLock);
    DeviceGetState(DCBShadow);
    DTRFlow = (Options & ptoDTRFlow) != 0;
    if (!DTRFlow) DriveDTR((Options & ptoDTROn) != 0);
    RTSFlow = (Options & ptoRTSFlow) != 0;
    if (!RTSFlow) DriveRTS((Options & ptoRTSOn) != 0);
  }

  ScanMark = 0;
  NotifyMark = 0;
  StatusHit = false;
  {
    std::lock_guard state(StateLock);
    DropAllTriggers();
    ModemStatus = 0;
    SampleModemStatus(0xF0);
    LastBaud = 115200;
  }

  const int applied = ApplyLineSettings(Baud, Parity, StopBits, DataBits);
  if (applied < 0) return FailOpen(applied);

  RefreshLineErrors();
  {
    StateGuard state(StateLock);
    StopTrace();
    Log.SetTimeBase(state, AdTimeGetTime());
    StopLog();
  }
  StartThreads();
  return 0;
}

int TApdBaseDispatcher::ClosePort() {
  if (DeviceHandle.load() != -1) {
    DiscardOutput();
    DiscardInput();
    DeviceClose();
  }
  if (InDelivery) {
    // Closed from inside a handler: the dispatch thread abandons the delivery and releases
    // the buffers itself as it ends.
    ClosePending = true;
    return 0;
  }
  ReleaseBuffers();
  return 0;
}

void TApdBaseDispatcher::ReleaseBuffers() {
  ReleaseOnThreadExit = false;
  if (ThreadsActive) StopThreadsOnce();
  FreeBuffersIfUnused();
}

// Runs StopThreads, one thread at a time. Two threads can get here together: a close from
// outside the handlers sets kill threads before it stops the threads, and a dispatch thread
// that sees it first ends and releases too. A caller that finds another thread stopping:
//   - the worker thread that is ending (inside ThreadFinished) returns at once: the stopper
//     waits for its running count, so waiting here would hold both until the bounds ran out;
//   - the stopping thread itself, reached again through a message it handled while waiting,
//     returns too: the outer stop goes on;
//   - any other thread waits (handling its messages) until that stop has ended and then stops
//     what is still active itself, so it returns with the threads stopped as the first would.
void TApdBaseDispatcher::StopThreadsOnce() {
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id owner{};
  while (!StopOwner.compare_exchange_strong(owner, self)) {
    if (owner == self || EndingWorkerThread) return;
    // The other stop is bounded by its own waits; this bound only keeps a fault in it from
    // holding this thread for ever.
    if (!WaitPumping([this] { return StopOwner.load() == std::thread::id{}; }, StopHandOverWaitMs))
      return;
    owner = std::thread::id{};
  }
  if (ThreadsActive) StopThreads();
  StopOwner = std::thread::id{};
  NotifyThreadEnded();
}

void TApdBaseDispatcher::FreeBuffersIfUnused() {
  // Order: InputLock, OutputLock, StateLock.
  InputGuard input(InputLock);
  OutputGuard output(OutputLock);
  StateGuard state(StateLock);
  if (ThreadPresent[tkDispThread]) {
    // The dispatch thread outlived StopThreads: it frees the buffers as it ends.
    ReleaseOnThreadExit = true;
    return;
  }
  if (ThreadPresent[tkComThread] || ThreadPresent[tkOutThread]) return;  // freed at destroy
  Input.Release(input);
  OutRing.Free(output);
  // With threads still active the one stopping them closes the signals (StopThreads).
  if (!ThreadsActive) CloseSignals();
}

void TApdBaseDispatcher::NoteThreadStarting(TApdThreadKind Thread) {
  ThreadPresent[Thread] = true;
  RunningThreadCount.fetch_add(1);
}

// Runs on the worker thread that is ending, as its last act.
void TApdBaseDispatcher::ThreadFinished(TApdThreadKind Thread) {
  bool release = false;
  {
    std::lock_guard state(StateLock);
    ThreadPresent[Thread] = false;
    if (Thread == tkDispThread && ReleaseOnThreadExit) release = true;
  }
  if (release) {
    EndingWorkerThread = true;
    ReleaseBuffers();
    EndingWorkerThread = false;
    ReleaseOnThreadExit = false;
  }
  if (RunningThreadCount.fetch_sub(1) == 1) ThreadsActive = false;
  NotifyThreadEnded();
}

void TApdBaseDispatcher::NotifyThreadEnded() {
  { std::lock_guard wake(ThreadEndMutex); }
  ThreadEnded.notify_all();
}

bool TApdBaseDispatcher::WaitPumping(const std::function<bool()>& Done, uint64_t TimeoutMs) {
  // A worker may be blocked sending a trigger message to a window of this thread, so keep
  // handling this thread's messages while waiting; the wait wakes when a thread or a stop ends
  // and at least every few milliseconds to pump again.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    platform::PumpPendingMessages();
    if (Done()) return true;
    if (TimeoutMs && std::chrono::steady_clock::now() >= deadline) return false;
    std::unique_lock wait(ThreadEndMutex);
    ThreadEnded.wait_for(wait, std::chrono::milliseconds(5), Done);
  }
}

void TApdBaseDispatcher::WaitForWorkerThreads() {
  // Every worker thread ends within a bounded time once told to (see the device layer).
  WaitPumping([this] { return RunningThreadCount.load() <= 0; }, 0);
}

void TApdBaseDispatcher::Shutdown() {
  if (ShutdownDone) return;
  ShutdownDone = true;
  if (ClosePending)
    ReleaseBuffers();
  else
    ClosePort();
  WaitForWorkerThreads();
  JoinThreads();
  FreeBuffersIfUnused();
  Unregister();
  std::lock_guard state(StateLock);
  TimerTriggers.clear();
  DataTriggers.clear();
  StatusTriggers.clear();
  NoteTriggerLists(state);
  WindowHandlers.Clear();
  ProcHandlers.Clear();
  MethodHandlers.Clear();
  StopTrace();
  StopLog();
}
