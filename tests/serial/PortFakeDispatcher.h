// A dispatcher over a fake device for the port component's tests, made through the component's
// DispatcherFactory: the real TApdBaseDispatcher (buffers, triggers, delivery to the component's
// window) with a device whose input the test feeds and whose settings and output it inspects,
// and, optionally, a real dispatch thread so that deliveries come from another thread as they
// do in the program.
#pragma once
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/AwUser.h"

class TPortFakeDispatcher : public TApdBaseDispatcher {
public:
  TPortFakeDispatcher(TApdCustomComPort* owner, bool runDispatchThread);
  ~TPortFakeDispatcher() override;

  // Test side (any thread).
  void Feed(const std::string& bytes);  // bytes arrive and the dispatch thread is woken
  std::string TakeWritten();
  // The next DeviceOpen fails: with the platform error `error`, or with −8 when error is 8.
  void FailOpen(DWORD error) { openError_ = error; }
  std::string OpenedName() { std::lock_guard l(mutex_); return openedName_; }
  std::vector<int> Escapes() { std::lock_guard l(mutex_); return escapes_; }
  DCB DeviceSettings() { std::lock_guard l(mutex_); return dcb_; }
  int SetStateCount() { std::lock_guard l(mutex_); return setStates_; }

  int DeviceEscape(int function) override;
  int DevicePurge(int queue) override;
  uint32_t DeviceErrors(COMSTAT& status) override;
  void DeviceErrorHook(int) override {}
  int DeviceGetState(DCB& settings) override;
  int DeviceRead(uint8_t* buffer, uint32_t count) override;
  int DeviceSetState(DCB& settings) override;
  int DeviceWrite(const uint8_t* data, uint32_t count) override;
  bool DeviceWaitEvent(DWORD&, LPOVERLAPPED) override { return false; }
  bool DeviceSizeQueues(uint32_t, uint32_t) override { return true; }
  void StartThreads() override;
  void StopThreads() override;
  LONG_PTR DeviceOpen(const std::string& name, uint32_t inSize, uint32_t outSize) override;
  int DeviceClose() override;
  int DeviceYield() override { return 0; }
  DWORD DeviceModemStatus() override { return 0; }

protected:
  void JoinThreads() override;

private:
  void DispatchThreadBody();  // runs on the fake dispatch thread

  const bool withThread_;
  std::thread thread_;
  std::mutex mutex_;  // guards the fake device below
  std::string input_;
  std::string openedName_;
  std::vector<int> escapes_;
  DCB dcb_{};
  int setStates_ = 0;
  DWORD openError_ = 0;
};
