// Win32 events and waits over one mutex and a condition variable per waiting thread.
//
// A waiter registers itself with every event it waits on. SetEvent hands the signal to the
// registered waiters in arrival order (an auto-reset event to exactly one of them, a manual-reset
// event to all), so a wait is satisfied by the setter, never by a thread racing the waiter for
// the state. A wait-any is satisfied by the lowest signalled index; a wait-all only when every
// event is signalled at once.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/linux/handles.h"
#include "platform/linux/winsync.h"

namespace platform::detail {
namespace {

class Event;

// One thread blocked in WaitForSingleObject / WaitForMultipleObjects.
struct Waiter {
  std::vector<Event*> events;      // the handles waited on, in the caller's order
  bool waitAll = false;
  bool done = false;               // set by the thread that satisfied or aborted the wait
  DWORD result = WAIT_TIMEOUT;     // WAIT_OBJECT_0 + i, or WAIT_FAILED when aborted
  std::condition_variable wake;
};

// Guards the state of every event and every waiter list. Never held while calling out.
std::mutex& SyncMutex() {
  static std::mutex* mutex = new std::mutex;  // outlives static teardown
  return *mutex;
}

class Event final : public HandleObject {
public:
  Event(bool manualReset, bool signalled)
      : HandleObject(HandleKind::Event), manualReset_(manualReset), signalled_(signalled) {}

  // All members below are guarded by SyncMutex().
  const bool manualReset_;
  bool signalled_;
  bool closed_ = false;
  std::list<Waiter*> waiters_;  // arrival order

  void Close() override {
    std::lock_guard lock(SyncMutex());
    closed_ = true;
    signalled_ = false;
    for (Waiter* waiter : std::list<Waiter*>(waiters_)) Finish(*waiter, WAIT_FAILED);
  }

  // Removes the waiter from every list it is on and wakes it with `result`.
  static void Finish(Waiter& waiter, DWORD result) {
    for (Event* event : waiter.events) event->waiters_.remove(&waiter);
    waiter.result = result;
    waiter.done = true;
    waiter.wake.notify_one();
  }

  // Satisfies the wait now if the events' states allow it, consuming auto-reset signals.
  static bool TrySatisfy(const std::vector<Event*>& events, bool waitAll, DWORD& result) {
    if (waitAll) {
      for (Event* event : events)
        if (!event->signalled_) return false;
      for (Event* event : events)
        if (!event->manualReset_) event->signalled_ = false;
      result = WAIT_OBJECT_0;
      return true;
    }
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i]->signalled_) {
        if (!events[i]->manualReset_) events[i]->signalled_ = false;
        result = WAIT_OBJECT_0 + static_cast<DWORD>(i);
        return true;
      }
    }
    return false;
  }

  void Set() {
    signalled_ = true;
    for (auto it = waiters_.begin(); it != waiters_.end() && signalled_;) {
      Waiter* waiter = *it++;  // Finish removes the waiter from this list
      DWORD result;
      if (TrySatisfy(waiter->events, waiter->waitAll, result)) Finish(*waiter, result);
    }
  }
};

DWORD Wait(const HANDLE* handles, DWORD count, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  // The references keep the events alive across the wait even if another thread closes them.
  std::vector<std::shared_ptr<Event>> held;
  held.reserve(count);
  Waiter waiter;
  waiter.waitAll = waitAll;
  for (DWORD i = 0; i < count; ++i) {
    auto event = FindHandleAs<Event>(handles[i], HandleKind::Event);
    if (!event) return WAIT_FAILED;  // last error already ERROR_INVALID_HANDLE
    if (waitAll && std::find(waiter.events.begin(), waiter.events.end(), event.get()) != waiter.events.end()) {
      SetLastErrorValue(ERROR_INVALID_PARAMETER);  // Windows refuses duplicates in a wait-all
      return WAIT_FAILED;
    }
    waiter.events.push_back(event.get());
    held.push_back(std::move(event));
  }

  std::unique_lock lock(SyncMutex());
  for (Event* event : waiter.events) {
    if (event->closed_) {
      SetLastErrorValue(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  DWORD result;
  if (Event::TrySatisfy(waiter.events, waitAll, result)) return result;
  if (milliseconds == 0) return WAIT_TIMEOUT;

  for (Event* event : waiter.events) event->waiters_.push_back(&waiter);
  if (milliseconds == INFINITE) {
    waiter.wake.wait(lock, [&] { return waiter.done; });
  } else {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    if (!waiter.wake.wait_until(lock, deadline, [&] { return waiter.done; })) {
      for (Event* event : waiter.events) event->waiters_.remove(&waiter);
      return WAIT_TIMEOUT;
    }
  }
  if (waiter.result == WAIT_FAILED) SetLastErrorValue(ERROR_OPERATION_ABORTED);
  return waiter.result;
}

}  // namespace
}  // namespace platform::detail

using namespace platform::detail;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
  if (name != nullptr && *name != '\0') {  // named events would be shared between processes
    SetLastErrorValue(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return InsertHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE handle) {
  auto event = FindHandleAs<Event>(handle, HandleKind::Event);
  if (!event) return FALSE;
  std::lock_guard lock(SyncMutex());
  if (event->closed_) {
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto event = FindHandleAs<Event>(handle, HandleKind::Event);
  if (!event) return FALSE;
  std::lock_guard lock(SyncMutex());
  event->signalled_ = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return Wait(&handle, 1, false, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  return Wait(handles, count, waitAll != FALSE, milliseconds);
}
