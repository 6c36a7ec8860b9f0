// TApdWin32Dispatcher's device operations over the Win32 communications API: opening and
// closing the overlapped device handle, reading what has arrived, queueing output for the output
// thread, purging, settings, errors and escapes.
#include "platform/commread.h"
#include "serial/AwWin32.h"

TApdWin32Dispatcher::TApdWin32Dispatcher(TApdCustomComPort* Owner) : TApdBaseDispatcher(Owner) {}

TApdWin32Dispatcher::~TApdWin32Dispatcher() {
  // Close or release, wait (pumping) until no worker thread runs, join them, leave the registry.
  Shutdown();
  if (SyncWindow) DestroyWindow(SyncWindow);
  // A device opened by DeviceOpen alone (port probing without DeviceClose) is closed here.
  if (DeviceHandle.load() != -1) DeviceClose();
  CloseSignals();
}

LONG_PTR TApdWin32Dispatcher::DeviceOpen(const std::string& Name, uint32_t, uint32_t) {
  HANDLE device = CreateFileA(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE || device == nullptr) return -1;  // GetLastError tells why

  InputGuard input(InputLock);
  ReadOverlapped = OVERLAPPED{};
  ReadOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!ReadOverlapped.hEvent) {
    CloseHandle(device);
    return -ERROR_NOT_ENOUGH_MEMORY;
  }
  HungUp = false;
  DeviceHandle = reinterpret_cast<LONG_PTR>(device);
  return reinterpret_cast<LONG_PTR>(device);
}

int TApdWin32Dispatcher::DeviceClose() {
  const HANDLE device = Device();
  if (ThreadsActive) {
    // Tell the workers to end: the receive thread's event wait completes and its wait for the
    // dispatch pass is released.
    KillThreads = true;
    const Signals signals = ReadSignals();
    if (device != INVALID_HANDLE_VALUE) SetCommMask(device, 0);
    if (signals.PassDone) SetEvent(signals.PassDone);
    if (signals.Handshake) ResetEvent(signals.Handshake);
  }
  // Closing the handle ends every wait still pending on it. The read record's event goes
  // after it, under InputLock, so the dispatch thread never reads with a closed event.
  const bool closed = device != INVALID_HANDLE_VALUE && CloseHandle(device);
  {
    InputGuard input(InputLock);
    if (ReadOverlapped.hEvent) {
      CloseHandle(ReadOverlapped.hEvent);
      ReadOverlapped.hEvent = nullptr;
    }
  }
  if (!closed) return -1;
  DeviceHandle = -1;
  return 0;
}

int TApdWin32Dispatcher::DeviceYield() {
  Sleep(0);
  return 0;
}

int TApdWin32Dispatcher::DeviceEscape(int Function) {
  EscapeCommFunction(Device(), static_cast<DWORD>(Function));
  return 0;
}

int TApdWin32Dispatcher::DeviceGetState(DCB& Settings) {
  Settings.DCBlength = sizeof(DCB);
  return GetCommState(Device(), &Settings) ? 0 : -1;
}

int TApdWin32Dispatcher::DeviceSetState(DCB& Settings) {
  Settings.DCBlength = sizeof(DCB);
  return SetCommState(Device(), &Settings) ? 0 : -static_cast<int>(GetLastError());
}

bool TApdWin32Dispatcher::DeviceWaitEvent(DWORD& Mask, LPOVERLAPPED Overlapped) {
  return WaitCommEvent(Device(), &Mask, Overlapped) != FALSE;
}

bool TApdWin32Dispatcher::DeviceSizeQueues(uint32_t InSize, uint32_t OutSize) {
  return SetupComm(Device(), InSize, OutSize) != FALSE;
}

DWORD TApdWin32Dispatcher::DeviceModemStatus() {
  DWORD lines = 0;
  if (!GetCommModemStatus(Device(), &lines)) return 0;
  return lines;
}

// Runs on the dispatch thread and on the user-interface thread.
uint32_t TApdWin32Dispatcher::DeviceErrors(COMSTAT* Status) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(Device(), &errors, Status ? &status : nullptr)) {
    // A closed or hung-up device has nothing waiting and no errors to report; a stale record
    // here would make the dispatch pass read from a dead device on every wake.
    errors = 0;
    status = COMSTAT{};
  }
  if (Status) {
    OutputGuard output(OutputLock);
    status.cbOutQue = OutputRingCount(output);
    *Status = status;
  }
  return errors;
}

// Runs on the dispatch thread (FillDispatchBuffer, which holds InputLock).
int TApdWin32Dispatcher::DeviceRead(uint8_t* Buffer, uint32_t Count, TArrivedInput& Status) {
  InputGuard input(InputLock);
  if (!ReadOverlapped.hEvent) return -1;  // the device has been closed
  platform::CommInput arrived;
  // Reads return what has already arrived: the read never waits for more.
  if (!platform::ReadArrivedInput(Device(), Buffer, Count, ReadOverlapped, arrived)) return -1;
  Status.Left = arrived.Left;
  Status.Errors = arrived.Errors;
  return static_cast<int>(arrived.Read);
}

// WriteBytes holds OutputLock; the room has been checked.
int TApdWin32Dispatcher::DeviceWrite(const OutputGuard& Held, const uint8_t* Data, uint32_t Count) {
  CopyIntoOutputRing(Held, Data, Count);
  return static_cast<int>(Count);
}

// User-interface thread (WriteBytes), without OutputLock.
void TApdWin32Dispatcher::WakeOutputThread() {
  const HANDLE ready = ReadSignals().OutputReady;
  if (ready) SetEvent(ready);
}

// User-interface thread. Never called with a dispatcher lock held for the output queue.
int TApdWin32Dispatcher::DevicePurge(TPurgeQueue Queue) {
  DWORD flags = PURGE_RXABORT | PURGE_RXCLEAR;
  if (Queue == TPurgeQueue::Output) {
    flags = PURGE_TXABORT | PURGE_TXCLEAR;
    if (ThreadExists(tkOutThread)) {
      // The output thread acknowledges whether idle or in the middle of a write, and writes
      // nothing more from the ring until it is woken again.
      const Signals signals = ReadSignals();
      if (signals.Handshake) ResetEvent(signals.Handshake);
      if (signals.OutputFlush) SetEvent(signals.OutputFlush);
      if (signals.Handshake &&
          WaitForSingleObject(signals.Handshake, OutputFlushWaitMs) == WAIT_TIMEOUT)
        ++WaitTimeouts;
    }
    // Without an output thread the ring is emptied all the same: the bytes will never be sent.
    OutputGuard output(OutputLock);
    ClearOutputRing(output);
  }
  return PurgeComm(Device(), flags) ? 0 : -static_cast<int>(GetLastError());
}
