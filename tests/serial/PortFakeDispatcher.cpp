// The fake device under the port component's unit tests.
#include "tests/serial/PortFakeDispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/msgpump.h"

TPortFakeDispatcher::TPortFakeDispatcher(TApdCustomComPort* owner, bool runDispatchThread)
    : TApdBaseDispatcher(owner), withThread_(runDispatchThread) {
  dcb_.BaudRate = 19200;
  dcb_.ByteSize = 8;
  dcb_.Parity = NOPARITY;
  dcb_.StopBits = ONESTOPBIT;
}

TPortFakeDispatcher::~TPortFakeDispatcher() { Shutdown(); }

void TPortFakeDispatcher::Feed(const std::string& bytes) {
  {
    std::lock_guard lock(mutex_);
    input_ += bytes;
  }
  EventBits = EV_RXCHAR;
  if (DeviceEventSignal) SetEvent(DeviceEventSignal);
}

std::string TPortFakeDispatcher::TakeWritten() {
  std::lock_guard output(OutputLock);
  std::string sent;
  const uint32_t count = OutputRingCount();
  for (uint32_t i = 0; i < count; ++i) sent += static_cast<char>(OutBuff[(OutTail + i) % OutQueueSize]);
  OutHead = OutTail = 0;
  OutFull = false;
  return sent;
}

int TPortFakeDispatcher::DeviceEscape(int function) {
  std::lock_guard lock(mutex_);
  escapes_.push_back(function);
  return 0;
}

int TPortFakeDispatcher::DevicePurge(int queue) {
  if (queue == 0) {
    std::lock_guard output(OutputLock);
    OutHead = OutTail = 0;
    OutFull = false;
  } else {
    std::lock_guard lock(mutex_);
    input_.clear();
  }
  return 0;
}

uint32_t TPortFakeDispatcher::DeviceErrors(COMSTAT& status) {
  {
    std::lock_guard lock(mutex_);
    status.cbInQue = static_cast<DWORD>(input_.size());
  }
  std::lock_guard output(OutputLock);
  status.cbOutQue = OutputRingCount();
  return 0;
}

int TPortFakeDispatcher::DeviceGetState(DCB& settings) {
  std::lock_guard lock(mutex_);
  settings = dcb_;
  return 0;
}

int TPortFakeDispatcher::DeviceRead(uint8_t* buffer, uint32_t count) {
  std::lock_guard lock(mutex_);
  const std::size_t n = std::min<std::size_t>(count, input_.size());
  std::memcpy(buffer, input_.data(), n);
  input_.erase(0, n);
  return static_cast<int>(n);
}

int TPortFakeDispatcher::DeviceSetState(DCB& settings) {
  std::lock_guard lock(mutex_);
  dcb_ = settings;
  ++setStates_;
  return 0;
}

int TPortFakeDispatcher::DeviceWrite(const uint8_t* data, uint32_t count) {
  std::lock_guard output(OutputLock);
  CopyIntoOutputRing(data, count);
  return static_cast<int>(count);
}

LONG_PTR TPortFakeDispatcher::DeviceOpen(const std::string& name, uint32_t, uint32_t) {
  std::lock_guard lock(mutex_);
  openedName_ = name;
  if (openError_ == ERROR_NOT_ENOUGH_MEMORY) return -static_cast<LONG_PTR>(ERROR_NOT_ENOUGH_MEMORY);
  if (openError_) {
    SetLastError(openError_);
    return -1;
  }
  return 1;
}

int TPortFakeDispatcher::DeviceClose() {
  if (ThreadsActive) KillThreads = true;
  DeviceHandle = -1;
  return 0;
}

void TPortFakeDispatcher::StartThreads() {
  if (!withThread_) return;
  ThreadsActive = true;
  KillThreads = false;
  NoteThreadStarting(tkDispThread);
  thread_ = std::thread([this] { DispatchThreadBody(); });
  WaitForSingleObject(HandshakeSignal, 3000);
}

void TPortFakeDispatcher::DispatchThreadBody() {
  SetEvent(HandshakeSignal);
  do {
    WaitForSingleObject(DeviceEventSignal, 50);
    if (KillThreads) {
      ReleaseOnThreadExit = true;
      ThreadFinished(tkDispThread);
      return;
    }
    DispatchPass();
  } while (!KillThreads && !ClosePending);
  ReleaseOnThreadExit = true;
  ThreadFinished(tkDispThread);
}

void TPortFakeDispatcher::StopThreads() {
  if (!ThreadsActive) return;
  KillThreads = true;
  if (ThreadExists(tkDispThread) && !(thread_.get_id() == std::this_thread::get_id())) {
    if (DeviceEventSignal) SetEvent(DeviceEventSignal);
    // The dispatch thread may be sending to a window of this thread: keep pumping.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ThreadExists(tkDispThread) && std::chrono::steady_clock::now() < deadline) {
      platform::PumpPendingMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

void TPortFakeDispatcher::JoinThreads() {
  if (thread_.joinable()) thread_.join();
}
