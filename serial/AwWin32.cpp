// TApdWin32Dispatcher's device operations over the Win32 communications API: opening and
// closing the overlapped device handle, reading what has arrived, queueing output for the output
// thread, purging, settings, errors and escapes.
#include "serial/AwWin32.h"

TApdWin32Dispatcher::TApdWin32Dispatcher(TApdCustomComPort* Owner) : TApdBaseDispatcher(Owner) {}

TApdWin32Dispatcher::~TApdWin32Dispatcher() {
  // Close or release, wait (pumping) until no worker thread runs, join them, leave the registry.
  Shutdown();
  if (SyncWindow) DestroyWindow(SyncWindow);
  // A device opened by DeviceOpen alone (port probing without DeviceClose) is closed here.
  if (DeviceHandle.load() != -1) DeviceClose();
}

LONG_PTR TApdWin32Dispatcher::DeviceOpen(const std::string& Name, uint32_t, uint32_t) {
  HANDLE device = CreateFileA(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE || device == nullptr) return -1;  // GetLastError tells why

  std::lock_guard input(InputLock);
  ReadOverlapped = OVERLAPPED{};
  SpareOverlapped = OVERLAPPED{};
  ReadOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SpareOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!ReadOverlapped.hEvent || !SpareOverlapped.hEvent) {
    if (ReadOverlapped.hEvent) CloseHandle(ReadOverlapped.hEvent);
    if (SpareOverlapped.hEvent) CloseHandle(SpareOverlapped.hEvent);
    ReadOverlapped.hEvent = SpareOverlapped.hEvent = nullptr;
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
    std::lock_guard input(InputLock);
    for (OVERLAPPED* record : {&ReadOverlapped, &SpareOverlapped}) {
      if (record->hEvent) {
        CloseHandle(record->hEvent);
        record->hEvent = nullptr;
      }
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

void TApdWin32Dispatcher::DeviceErrorHook(int) {}

DWORD TApdWin32Dispatcher::DeviceModemStatus() {
  DWORD lines = 0;
  if (!GetCommModemStatus(Device(), &lines)) return 0;
  return lines;
}

// Runs on the dispatch thread and on the user-interface thread.
uint32_t TApdWin32Dispatcher::DeviceErrors(COMSTAT& Status) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(Device(), &errors, &status)) {
    // A closed or hung-up device has nothing waiting and no errors to report; a stale record
    // here would make the dispatch pass read from a dead device on every wake.
    errors = 0;
    status = COMSTAT{};
  }
  std::lock_guard output(OutputLock);
  status.cbOutQue = OutputRingCount();
  Status = status;
  return errors;
}

// Runs on the dispatch thread (FillDispatchBuffer, which holds InputLock).
int TApdWin32Dispatcher::DeviceRead(uint8_t* Buffer, uint32_t Count) {
  std::lock_guard input(InputLock);
  if (!ReadOverlapped.hEvent) return -1;  // the device has been closed
  DWORD read = 0;
  if (ReadFile(Device(), Buffer, Count, &read, &ReadOverlapped)) return static_cast<int>(read);
  if (GetLastError() != ERROR_IO_PENDING) return -1;
  // Reads return what has already arrived (ReadIntervalTimeout = MAXDWORD), so this wait ends
  // at once; closing the device ends it as well.
  const BOOL done = GetOverlappedResult(Device(), &ReadOverlapped, &read, TRUE);
  ResetEvent(ReadOverlapped.hEvent);
  return done ? static_cast<int>(read) : -1;
}

// Runs with OutputLock held (WriteBytes); the room has been checked.
int TApdWin32Dispatcher::DeviceWrite(const uint8_t* Data, uint32_t Count) {
  std::lock_guard output(OutputLock);
  CopyIntoOutputRing(Data, Count);
  // Order: OutputLock, StateLock.
  const HANDLE ready = ReadSignals().OutputReady;
  if (ready) SetEvent(ready);
  return static_cast<int>(Count);
}

// User-interface thread. Never called with a dispatcher lock held for queue 0.
int TApdWin32Dispatcher::DevicePurge(int Queue) {
  DWORD flags = PURGE_RXABORT | PURGE_RXCLEAR;
  if (Queue == 0) {
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
    std::lock_guard output(OutputLock);
    OutFull = false;
    OutHead = OutTail = 0;
    ++PurgeGeneration;
  }
  return PurgeComm(Device(), flags) ? 0 : -static_cast<int>(GetLastError());
}

bool TApdWin32Dispatcher::HasAutoRTSControl() const {
  // Every platform this builds for drives RTS itself in RS-485 mode (the DCB's RTS toggle
  // control); the manual path is for drivers of older Windows versions only.
  return true;
}
