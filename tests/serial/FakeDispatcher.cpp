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

TFakeDispatcher::~TFakeDispatcher() {
  Shutdown();
  CloseSignals();
}

bool TFakeDispatcher::CreateSignals() {
  std::lock_guard lock(SignalMutex);
  DeviceEventSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HandshakeSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return DeviceEventSignal && HandshakeSignal;
}

void TFakeDispatcher::CloseSignals() {
  std::lock_guard lock(SignalMutex);
  for (HANDLE* signal : {&DeviceEventSignal, &HandshakeSignal}) {
    if (*signal) CloseHandle(*signal);
    *signal = nullptr;
  }
}

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
  // As the output thread takes it: block by block, each retired once "written".
  std::string sent;
  uint32_t offset, length;
  uint64_t generation;
  while (NextOutputBlock(offset, length, generation)) {
    sent.append(reinterpret_cast<const char*>(OutputBytes(offset)), length);
    RetireOutput(length, generation);
  }
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
  std::lock_guard lock(SignalMutex);
  if (DeviceEventSignal) SetEvent(DeviceEventSignal);
}

int TFakeDispatcher::DeviceEscape(int Function) {
  std::lock_guard lock(DeviceMutex);
  EscapeLog.push_back(Function);
  return 0;
}

int TFakeDispatcher::DevicePurge(TPurgeQueue Queue) {
  if (Queue == TPurgeQueue::Output) {
    OutputGuard output(OutputLock);
    ClearOutputRing(output);
  } else {
    std::lock_guard lock(DeviceMutex);
    Input.clear();
    InputRead = 0;
    PatternLeft = 0;
  }
  std::lock_guard lock(DeviceMutex);
  ++Purges[Queue == TPurgeQueue::Input ? 1 : 0];
  return 0;
}

uint32_t TFakeDispatcher::DeviceErrors(COMSTAT* Status) {
  uint32_t errors;
  {
    std::lock_guard lock(DeviceMutex);
    errors = PendingErrors;
    PendingErrors = 0;
    if (!Status) return errors;
    const uint64_t waiting = Input.size() - InputRead + PatternLeft;
    Status->cbInQue = static_cast<DWORD>(std::min<uint64_t>(waiting, 0xFFFFFFFFu));
  }
  OutputGuard output(OutputLock);
  Status->cbOutQue = OutputRingCount(output);
  return errors;
}

int TFakeDispatcher::DeviceGetState(DCB& Settings) {
  std::lock_guard lock(DeviceMutex);
  Settings = DeviceDCB;
  return 0;
}

int TFakeDispatcher::DeviceRead(uint8_t* Buffer, uint32_t Count, TArrivedInput& Status) {
  std::lock_guard lock(DeviceMutex);
  Status.Errors = PendingErrors;
  PendingErrors = 0;
  const size_t fromInput = std::min<size_t>(Count, Input.size() - InputRead);
  std::memcpy(Buffer, Input.data() + InputRead, fromInput);
  InputRead += fromInput;
  const size_t fromPattern = std::min<uint64_t>(Count - fromInput, PatternLeft);
  for (size_t i = 0; i < fromPattern; ++i) Buffer[fromInput + i] = PatternNext++;
  PatternLeft -= fromPattern;
  Status.Left = static_cast<uint32_t>(std::min<uint64_t>(Input.size() - InputRead + PatternLeft, 0xFFFFFFFFu));
  return static_cast<int>(fromInput + fromPattern);
}

int TFakeDispatcher::DeviceSetState(DCB& Settings) {
  std::lock_guard lock(DeviceMutex);
  DeviceDCB = Settings;
  ++SetStates;
  return 0;
}

int TFakeDispatcher::DeviceWrite(const OutputGuard& Held, const uint8_t* Data, uint32_t Count) {
  {
    std::lock_guard lock(DeviceMutex);
    if (WritesFail) return 0;
  }
  CopyIntoOutputRing(Held, Data, Count);
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
  HANDLE deviceEvent, handshake;
  {
    std::lock_guard lock(SignalMutex);
    deviceEvent = DeviceEventSignal;
    handshake = HandshakeSignal;
  }
  SetEvent(handshake);
  do {
    WaitForSingleObject(deviceEvent, 50);
    if (KillThreads) {
      ReleaseOnThreadExit = true;
      ThreadFinished(tkDispThread);
      return;
    }
    DispatchPass();
  } while (!KillThreads && !ClosePending);
  SetEvent(handshake);
  ReleaseOnThreadExit = true;
  ThreadFinished(tkDispThread);
}

void TFakeDispatcher::StopThreads() {
  if (!ThreadsActive) return;
  KillThreads = true;
  // The dispatch thread itself stops the threads when it ends after a deferred close; it never
  // waits for itself.
  if (DispatchThread.get_id() != std::this_thread::get_id()) {
    if (ThreadExists(tkDispThread)) SignalEvent(EventBits);
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
