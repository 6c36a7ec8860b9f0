// Win32 events and waits over one mutex for the events' state and a parker (a futex word) per
// waiting thread.
//
// A waiter registers itself with every event it waits on. SetEvent hands the signal to the
// registered waiters in arrival order (an auto-reset event to exactly one of them, a manual-reset
// event to all), so a wait is satisfied by the setter, never by a thread racing the waiter for
// the state. A wait-any is satisfied by the lowest signalled index; a wait-all only when every
// event is signalled at once.
//
// The setter wakes the waiters it satisfied after it has let go of the events' mutex, so a woken
// thread does not at once block on that mutex again (two futex calls and a context switch more
// per hand-off); see parker.h.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/linux/event_hooks.h"
#include "platform/linux/handles.h"
#include "platform/linux/parker.h"
#include "platform/linux/winsync.h"

namespace platform::detail {
namespace {

class Event;

// One thread blocked in WaitForSingleObject / WaitForMultipleObjects.
struct Waiter {
  std::span<Event* const> events;  // the handles waited on, in the caller's order
  bool waitAll = false;
  std::atomic<bool> done{false};   // set (under SyncMutex) by the thread that satisfied or
                                   // aborted the wait; read by the waiter without it
  DWORD result = WAIT_TIMEOUT;     // WAIT_OBJECT_0 + i, or WAIT_FAILED when aborted (SyncMutex)
  Parker* parker = nullptr;        // the waiting thread's
};

// Waiters finished under SyncMutex, to be woken once it is released. Setting an event usually
// wakes one waiter: the first few need no allocation.
struct WakeList {
  std::array<Parker*, 4> first{};
  size_t count = 0;
  std::vector<Parker*> more;
  void Add(Parker* parker) {
    if (count < first.size()) first[count++] = parker;
    else more.push_back(parker);
  }
  // Call without SyncMutex.
  void WakeAll() {
    for (size_t i = 0; i < count; ++i) first[i]->Wake();
    for (Parker* parker : more) parker->Wake();
  }
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
  EventWaitHook hook_ = nullptr;  // called once by the next thread that waits (event_hooks.h)
  HANDLE hookArgument_ = nullptr;

  void Close() override {
    WakeList woken;
    {
      std::lock_guard lock(SyncMutex());
      closed_ = true;
      signalled_ = false;
      for (Waiter* waiter : std::list<Waiter*>(waiters_)) Finish(*waiter, WAIT_FAILED, woken);
    }
    woken.WakeAll();
  }

  // Removes the waiter from every list it is on, gives it `result` and queues its wake-up.
  static void Finish(Waiter& waiter, DWORD result, WakeList& woken) {
    for (Event* event : waiter.events) event->waiters_.remove(&waiter);
    waiter.result = result;
    woken.Add(waiter.parker);  // read before done: the waiter may be gone right after
    waiter.done.store(true, std::memory_order_seq_cst);
  }

  // Satisfies the wait now if the events' states allow it, consuming auto-reset signals.
  static bool TrySatisfy(std::span<Event* const> events, bool waitAll, DWORD& result) {
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

  void Set(WakeList& woken) {
    signalled_ = true;
    for (auto it = waiters_.begin(); it != waiters_.end() && signalled_;) {
      Waiter* waiter = *it++;  // Finish removes the waiter from this list
      DWORD result;
      if (TrySatisfy(waiter->events, waiter->waitAll, result)) Finish(*waiter, result, woken);
    }
  }
};

DWORD Wait(const HANDLE* handles, DWORD count, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  // The references keep the events alive across the wait even if another thread closes them.
  // The usual waits (one or two events) keep them on the stack and allocate nothing.
  constexpr DWORD kInline = 2;
  std::array<std::shared_ptr<Event>, kInline> heldInline;
  std::vector<std::shared_ptr<Event>> heldMore;
  std::array<Event*, MAXIMUM_WAIT_OBJECTS> events;  // the first count entries are set
  for (DWORD i = 0; i < count; ++i) {
    std::shared_ptr<Event> event = FindHandleAs<Event>(handles[i], HandleKind::Event);
    if (!event) return WAIT_FAILED;  // last error already ERROR_INVALID_HANDLE
    if (waitAll && std::find(events.begin(), events.begin() + i, event.get()) != events.begin() + i) {
      SetLastErrorValue(ERROR_INVALID_PARAMETER);  // Windows refuses duplicates in a wait-all
      return WAIT_FAILED;
    }
    events[i] = event.get();
    if (i < kInline) heldInline[i] = std::move(event);
    else heldMore.push_back(std::move(event));
  }
  Waiter waiter;
  waiter.waitAll = waitAll;
  waiter.events = std::span<Event* const>(events.data(), count);

  std::unique_lock lock(SyncMutex());
  for (Event* event : waiter.events) {
    if (event->closed_) {
      SetLastErrorValue(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  DWORD result;
  if (Event::TrySatisfy(waiter.events, waitAll, result)) return result;
  // Hooks run outside the lock and may make an event signalled: look again after them.
  struct Hook {
    EventWaitHook call;
    HANDLE argument;
  };
  std::array<Hook, MAXIMUM_WAIT_OBJECTS> hooks;  // the first hookCount are set
  size_t hookCount = 0;
  for (Event* event : waiter.events) {
    if (!event->hook_) continue;
    hooks[hookCount++] = {event->hook_, event->hookArgument_};
    event->hook_ = nullptr;
  }
  if (hookCount) {
    lock.unlock();
    for (size_t i = 0; i < hookCount; ++i) hooks[i].call(hooks[i].argument);
    lock.lock();
    if (Event::TrySatisfy(waiter.events, waitAll, result)) return result;
  }
  if (milliseconds == 0) return WAIT_TIMEOUT;

  waiter.parker = &ThisThreadParker();
  for (Event* event : waiter.events) event->waiters_.push_back(&waiter);
  lock.unlock();
  const auto finished = [&] { return waiter.done.load(std::memory_order_seq_cst); };
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (milliseconds != INFINITE) deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  if (!waiter.parker->Sleep(finished, deadline)) {
    // Timed out, unless a setter finishes the wait before it is withdrawn.
    lock.lock();
    if (!finished()) {
      for (Event* event : waiter.events) event->waiters_.remove(&waiter);
      return WAIT_TIMEOUT;
    }
    lock.unlock();
  }
  if (waiter.result == WAIT_FAILED) SetLastErrorValue(ERROR_OPERATION_ABORTED);
  return waiter.result;
}

}  // namespace

bool SetEventWaitHook(HANDLE handle, EventWaitHook hook, HANDLE argument) {
  auto event = FindHandleAs<Event>(handle, HandleKind::Event);
  if (!event) return false;
  std::lock_guard lock(SyncMutex());
  event->hook_ = hook;
  event->hookArgument_ = argument;
  return true;
}

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
  WakeList woken;
  {
    std::lock_guard lock(SyncMutex());
    if (event->closed_) {
      SetLastErrorValue(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    event->Set(woken);
  }
  woken.WakeAll();
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
