// The fake device under the dispatcher tests, and the recording trigger window.
#include "FakeDispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/msgpump.h"

TFakeDispatcher::TFakeDispatcher(bool RunDispatchThread, TApdCustomComPort* Owner)
    : TApdBaseDispatcher(Owner), WithThread(RunDispatchThread) {
  DeviceDCB.BaudRate = 19200;
  DeviceDCB.ByteSize = 8;
  DeviceDCB.Parity = NOPARITY;
  DeviceDCB.StopBits = ONESTOPBIT;
}

TFakeDispatcher::~TFakeDispatcher() { Shutdown(); }

int TFakeDispatcher::OpenDefault(uint32_t OutSize, uint32_t InSize) {
  return OpenPort("\\\\.\\COM1", 9600, NOPARITY, 8, 1, InSize, OutSize, ptoDTROn | ptoRTSOn);
}

void TFakeDispatcher::Feed(const std::string& Bytes) {
  std::lock_guard lock(DeviceMutex);
  Input.erase(0, InputRead);
  InputRead = 0;
  Input += Bytes;
}

void TFakeDispatcher::FeedAndSignal(const std::string& Bytes) {
  Feed(Bytes);
  SignalEvent(EV_RXCHAR);
}

void TFakeDispatcher::FeedCount(uint64_t Count) {
  std::lock_guard lock(DeviceMutex);
  PatternLeft += Count;
}

uint64_t TFakeDispatcher::DriverBytes() {
  std::lock_guard lock(DeviceMutex);
  return Input.size() - InputRead + PatternLeft;
}

std::string TFakeDispatcher::TakeWritten() {
  std::lock_guard output(OutputLock);
  std::string sent;
  const uint32_t count = OutputRingCount();
  for (uint32_t i = 0; i < count; ++i) sent += static_cast<char>(OutBuff[(OutTail + i) % OutQueueSize]);
  OutHead = OutTail = 0;
  OutFull = false;
  return sent;
}

void TFakeDispatcher::SetModemLines(DWORD Bits) {
  std::lock_guard lock(DeviceMutex);
  ModemLines = Bits;
}

void TFakeDispatcher::InjectLineErrors(uint32_t Bits) {
  std::lock_guard lock(DeviceMutex);
  PendingErrors |= Bits;
}

void TFakeDispatcher::SignalEvent(DWORD Bits) {
  EventBits = Bits;
  if (DeviceEventSignal) SetEvent(DeviceEventSignal);
}

int TFakeDispatcher::DeviceEscape(int Function) {
  std::lock_guard lock(DeviceMutex);
  EscapeLog.push_back(Function);
  return 0;
}

int TFakeDispatcher::DevicePurge(int Queue) {
  if (Queue == 0) {
    std::lock_guard output(OutputLock);
    OutHead = OutTail = 0;
    OutFull = false;
  } else {
    std::lock_guard lock(DeviceMutex);
    Input.clear();
    InputRead = 0;
    PatternLeft = 0;
  }
  std::lock_guard lock(DeviceMutex);
  ++Purges[Queue ? 1 : 0];
  return 0;
}

uint32_t TFakeDispatcher::DeviceErrors(COMSTAT& Status) {
  uint32_t errors;
  {
    std::lock_guard lock(DeviceMutex);
    errors = PendingErrors;
    PendingErrors = 0;
    const uint64_t waiting = Input.size() - InputRead + PatternLeft;
    Status.cbInQue = static_cast<DWORD>(std::min<uint64_t>(waiting, 0xFFFFFFFFu));
  }
  std::lock_guard output(OutputLock);
  Status.cbOutQue = OutputRingCount();
  return errors;
}

int TFakeDispatcher::DeviceGetState(DCB& Settings) {
  std::lock_guard lock(DeviceMutex);
  Settings = DeviceDCB;
  return 0;
}

int TFakeDispatcher::DeviceRead(uint8_t* Buffer, uint32_t Count) {
  std::lock_guard lock(DeviceMutex);
  const size_t fromInput = std::min<size_t>(Count, Input.size() - InputRead);
  std::memcpy(Buffer, Input.data() + InputRead, fromInput);
  InputRead += fromInput;
  const size_t fromPattern = std::min<uint64_t>(Count - fromInput, PatternLeft);
  for (size_t i = 0; i < fromPattern; ++i) Buffer[fromInput + i] = PatternNext++;
  PatternLeft -= fromPattern;
  return static_cast<int>(fromInput + fromPattern);
}

int TFakeDispatcher::DeviceSetState(DCB& Settings) {
  std::lock_guard lock(DeviceMutex);
  DeviceDCB = Settings;
  ++SetStates;
  return 0;
}

int TFakeDispatcher::DeviceWrite(const uint8_t* Data, uint32_t Count) {
  {
    std::lock_guard lock(DeviceMutex);
    if (WritesFail) return 0;
  }
  std::lock_guard output(OutputLock);
  CopyIntoOutputRing(Data, Count);
  return static_cast<int>(Count);
}

LONG_PTR TFakeDispatcher::DeviceOpen(const std::string& Name, uint32_t, uint32_t) {
  std::lock_guard lock(DeviceMutex);
  LastOpenedName = Name;
  if (OpenError == ERROR_NOT_ENOUGH_MEMORY) return -static_cast<LONG_PTR>(ERROR_NOT_ENOUGH_MEMORY);
  if (OpenError) {
    SetLastError(OpenError);
    return -1;
  }
  return 1;
}

int TFakeDispatcher::DeviceClose() {
  if (ThreadsActive) KillThreads = true;
  DeviceHandle = -1;
  return 0;
}

DWORD TFakeDispatcher::DeviceModemStatus() {
  std::lock_guard lock(DeviceMutex);
  return ModemLines;
}

void TFakeDispatcher::StartThreads() {
  if (!WithThread) return;
  ThreadsActive = true;
  KillThreads = false;
  NoteThreadStarting(tkDispThread);
  DispatchThread = std::thread([this] { DispatchThreadBody(); });
  WaitForSingleObject(HandshakeSignal, 3000);
}

// Runs on the dispatch thread.
void TFakeDispatcher::DispatchThreadBody() {
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
  SetEvent(HandshakeSignal);
  ReleaseOnThreadExit = true;
  ThreadFinished(tkDispThread);
}

void TFakeDispatcher::StopThreads() {
  if (!ThreadsActive) return;
  KillThreads = true;
  // The dispatch thread itself stops the threads when it ends after a deferred close; it never
  // waits for itself.
  if (DispatchThread.get_id() != std::this_thread::get_id()) {
    if (ThreadExists(tkDispThread)) SetEvent(DeviceEventSignal);
    // The reference goes first in ThreadFinished; the stop is complete once the count is 0.
    PumpUntil([this] { return !ThreadExists(tkDispThread) && !ThreadsActive; });
  }
  CloseSignals();
}

void TFakeDispatcher::JoinThreads() {
  if (DispatchThread.joinable()) DispatchThread.join();
}

namespace {

const char* TriggerWindowClass() {
  static const char* name = [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = TriggerWindowProc;
    cls.cbWndExtra = 4;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "dispatcherTestWindow";
    RegisterClassA(&cls);
    return "dispatcherTestWindow";
  }();
  return name;
}

}  // namespace

LRESULT CALLBACK TriggerWindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<TTriggerWindow*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
  if (!window || Msg < TriggerAvailMessage || Msg > TriggerStatusMessage)
    return DefWindowProcA(Window, Msg, wParam, lParam);
  const TTriggerWindow::Message message{Msg, wParam, lParam};
  if (window->Recording) window->Record(message);
  if (window->TheHandler) window->TheHandler(message);
  return 0;
}

TTriggerWindow::TTriggerWindow() {
  Hwnd = CreateWindowA(TriggerWindowClass(), "", 0, 0, 0, 0, 0, nullptr, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(Hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TTriggerWindow::~TTriggerWindow() {
  SetWindowLongPtrA(Hwnd, GWLP_USERDATA, 0);
  DestroyWindow(Hwnd);
}

std::vector<TTriggerWindow::Message> TTriggerWindow::Messages() {
  std::lock_guard lock(Mutex);
  return Seen;
}

void TTriggerWindow::Record(const Message& M) {
  std::lock_guard lock(Mutex);
  Seen.push_back(M);
}

bool PumpUntil(const std::function<bool()>& Done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::PumpPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
