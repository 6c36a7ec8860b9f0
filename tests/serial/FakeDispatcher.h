// Test support for the dispatcher and the port component: TFakeDispatcher runs the real
// TApdBaseDispatcher over a fake device whose input the test feeds and whose output the test
// takes, optionally with a real dispatch thread (the port tests make it through the component's
// DispatcherFactory, with the component as owner); TTriggerWindow is a hidden window that records the trigger messages it
// gets and runs a test handler for each.
#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/AwUser.h"

class TFakeDispatcher : public TApdBaseDispatcher {
public:
  // With RunDispatchThread the open port gets a dispatch thread like the real one (waits for
  // DeviceEventSignal at most 50 ms, runs DispatchPass); otherwise the test calls DispatchPass.
  explicit TFakeDispatcher(bool RunDispatchThread = false, TApdCustomComPort* Owner = nullptr);
  ~TFakeDispatcher() override;

  // OpenPort on "\\.\COM1" at 9600 8N1 with DTR and RTS on.
  int OpenDefault(uint32_t OutSize = 4096, uint32_t InSize = 4096);

  // The device side (any thread).
  void Feed(const std::string& Bytes);              // bytes arrive in the driver
  void FeedAndSignal(const std::string& Bytes);     // ... and the dispatch thread is woken
  void FeedCount(uint64_t Count);                   // a pattern stream of Count bytes, allocation-free
  uint64_t DriverBytes();                           // bytes still in the driver
  std::string TakeWritten();                        // what the output thread would send
  void SetModemLines(DWORD Bits);
  void InjectLineErrors(uint32_t Bits);
  // The next DeviceOpen fails with the platform error, or with −8 for ERROR_NOT_ENOUGH_MEMORY.
  void FailNextOpen(DWORD Win32Error) { OpenError = Win32Error; }
  void FailWrites(bool Fail) { WritesFail = Fail; }
  // Wakes the dispatch thread as the receive thread does after a device event.
  void SignalEvent(DWORD Bits);

  int PurgeCount(int Queue) { std::lock_guard l(DeviceMutex); return Purges[Queue]; }
  int SetStateCount() { std::lock_guard l(DeviceMutex); return SetStates; }
  DCB DeviceSettings() { std::lock_guard l(DeviceMutex); return DeviceDCB; }
  std::vector<int> Escapes() { std::lock_guard l(DeviceMutex); return EscapeLog; }
  std::string OpenedName() { std::lock_guard l(DeviceMutex); return LastOpenedName; }

  using TApdBaseDispatcher::EventBits;
  using TApdBaseDispatcher::RingEventSeen;
  int RunningThreads() const { return RunningThreadCount.load(); }

  // Device-layer operations.
  int DeviceEscape(int Function) override;
  int DevicePurge(TPurgeQueue Queue) override;
  uint32_t DeviceErrors(COMSTAT* Status) override;
  int DeviceGetState(DCB& Settings) override;
  int DeviceRead(uint8_t* Buffer, uint32_t Count, TArrivedInput& Status) override;
  int DeviceSetState(DCB& Settings) override;
  int DeviceWrite(const OutputGuard& Held, const uint8_t* Data, uint32_t Count) override;
  bool DeviceWaitEvent(DWORD&, LPOVERLAPPED) override { return false; }
  bool DeviceSizeQueues(uint32_t, uint32_t) override { return true; }
  void StartThreads() override;
  void StopThreads() override;
  LONG_PTR DeviceOpen(const std::string& Name, uint32_t InSize, uint32_t OutSize) override;
  int DeviceClose() override;
  int DeviceYield() override { return 0; }
  DWORD DeviceModemStatus() override;

protected:
  void JoinThreads() override;
  bool CreateSignals() override;
  void CloseSignals() override;
  void SignalPassDone() override {}

private:
  void DispatchThreadBody();

  const bool WithThread;
  std::thread DispatchThread;
  // The dispatch thread's two signals (made by OpenPort, closed by StopThreads and the
  // destructor): a device event, and the thread's start and end.
  std::mutex SignalMutex;
  HANDLE DeviceEventSignal = nullptr;
  HANDLE HandshakeSignal = nullptr;

  std::mutex DeviceMutex;            // guards the fake device's state below
  std::string Input;                 // fed bytes not yet read
  size_t InputRead = 0;              // how much of Input has been read
  uint64_t PatternLeft = 0;          // bytes of the pattern stream still to come
  uint8_t PatternNext = 0;           // next pattern byte
  DWORD ModemLines = 0;
  uint32_t PendingErrors = 0;
  DWORD OpenError = 0;
  std::string LastOpenedName;        // the device name of the last DeviceOpen
  bool WritesFail = false;
  int Purges[2] = {0, 0};
  int SetStates = 0;
  DCB DeviceDCB{};
  std::vector<int> EscapeLog;
};

LRESULT CALLBACK TriggerWindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam);

// A hidden window owned by the creating thread. Handler runs for every trigger message.
class TTriggerWindow {
public:
  struct Message {
    UINT Msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  using Handler = std::function<void(const Message&)>;

  TTriggerWindow();
  ~TTriggerWindow();
  HWND Window() const { return Hwnd; }
  void OnMessage(Handler H) { TheHandler = std::move(H); }
  void KeepRecords(bool Keep) { Recording = Keep; }
  std::vector<Message> Messages();
  void Record(const Message& M);

private:
  HWND Hwnd;
  Handler TheHandler;
  bool Recording = true;
  std::mutex Mutex;
  std::vector<Message> Seen;
  friend LRESULT CALLBACK TriggerWindowProc(HWND, UINT, WPARAM, LPARAM);
};

// Handles the calling thread's pending messages until Done() is true (at most 10 s).
bool PumpUntil(const std::function<bool()>& Done);
