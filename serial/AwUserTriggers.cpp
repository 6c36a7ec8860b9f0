// Triggers and event receivers: trigger handles, creating, arming and deleting timer, status
// and data triggers, the data-available threshold, saving and reinstalling the trigger set
// across a reopen, and the window, procedure and method handlers that receive trigger events.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "serial/AwUser.h"

namespace {

// A status handle carries its kind in the low three bits.
constexpr int32_t HandleBase(int32_t handle) { return handle & ~7; }

template <typename List>
auto FindHandle(List& list, int handle) {
  return std::find_if(list.begin(), list.end(),
                      [handle](const auto& trigger) { return trigger.Handle == handle; });
}

}  // namespace

bool TApdBaseDispatcher::TriggerHandleInUse(const StateGuard&, int Handle) const {
  auto same = [Handle](const auto& trigger) { return HandleBase(trigger.Handle) == Handle; };
  return std::any_of(TimerTriggers.begin(), TimerTriggers.end(), same) ||
         std::any_of(StatusTriggers.begin(), StatusTriggers.end(), same) ||
         std::any_of(DataTriggers.begin(), DataTriggers.end(), same);
}

// The next free trigger handle (a multiple of 8), or 0 when none is left.
int TApdBaseDispatcher::NextTriggerHandle(const StateGuard& Held) {
  if (TriggerHandleCounter < TriggerHandleCounterLimit)
    return static_cast<int>(TriggerHandleCounter++ * 8);
  for (int handle = 8; handle <= static_cast<int>(TriggerHandleCounterLimit); handle += 8)
    if (!TriggerHandleInUse(Held, handle)) return handle;
  return 0;
}

void TApdBaseDispatcher::DropAllTriggers() {
  std::lock_guard state(StateLock);
  AvailThreshold = 0;
  TimerTriggers.clear();
  DataTriggers.clear();
  StatusTriggers.clear();
  TriggerHandleCounter = 1;
  NoteTriggerLists(state);
}

void TApdBaseDispatcher::NoteTriggerLists(const StateGuard&) {
  HaveTimerTriggers.store(!TimerTriggers.empty(), std::memory_order_relaxed);
  HaveStatusTriggers.store(!StatusTriggers.empty(), std::memory_order_relaxed);
}

void TApdBaseDispatcher::SetAvailThreshold(int Count) {
  std::lock_guard state(StateLock);
  AvailThreshold = Count;
  LogEntry(dtTriggerDataChange, dstAvailTrigger, Count);
}

int TApdBaseDispatcher::NewTimerTrigger() {
  StateGuard state(StateLock);
  const int handle = NextTriggerHandle(state);
  if (handle == 0) return ecNoMoreTriggers;
  TTimerTrigger trigger;
  trigger.Handle = handle;
  TimerTriggers.push_back(trigger);
  NoteTriggerLists(state);
  LogEntry(dtTriggerAlloc, dstTimerTrigger, handle);
  return handle;
}

int TApdBaseDispatcher::NewStatusTrigger(int Kind) {
  if (Kind < 0 || Kind > stOutSent) return ecBadArgument;
  StateGuard state(StateLock);
  const int handle = NextTriggerHandle(state) + Kind;
  if (handle < 8) return ecNoMoreTriggers;
  TStatusTrigger trigger;
  trigger.Handle = handle;
  trigger.Kind = static_cast<uint8_t>(Kind);
  StatusTriggers.push_back(trigger);
  NoteTriggerLists(state);
  const uint8_t kind = trigger.Kind;
  LogEntry(dtTriggerAlloc, dstStatusTrigger, handle, 1, &kind);
  return handle;
}

int TApdBaseDispatcher::AddDataTrigger(const std::string& String, bool IgnoreCase) {
  if (String.empty()) return ecBadArgument;
  if (String.size() > static_cast<size_t>(MaxDataTriggerLength)) return ecTriggerTooLong;
  StateGuard state(StateLock);
  const int handle = NextTriggerHandle(state);
  if (handle == 0) return ecNoMoreTriggers;
  TDataTrigger trigger;
  trigger.Handle = handle;
  trigger.Length = static_cast<int32_t>(String.size());
  trigger.IgnoreCase = IgnoreCase;
  for (size_t i = 0; i < String.size(); ++i) {
    const auto c = static_cast<unsigned char>(String[i]);
    trigger.Data[i] = static_cast<char>(IgnoreCase ? std::toupper(c) : c);
  }
  DataTriggers.push_back(trigger);
  LogEntry(dtTriggerAlloc, dstData, handle);
  return handle;
}

int TApdBaseDispatcher::ArmTimerTrigger(int Handle, int Ticks, bool Activate) {
  const int result = ArmTimerLocked(Handle, Ticks, Activate);
  if (result == 0 && Activate) WakeDispatchThread();
  return result;
}

int TApdBaseDispatcher::ArmTimerLocked(int Handle, int Ticks, bool Activate) {
  std::lock_guard state(StateLock);
  auto trigger = FindHandle(TimerTriggers, Handle);
  if (trigger == TimerTriggers.end()) return ecBadTriggerHandle;
  if (Activate) {
    if (Ticks != 0) trigger->Ticks = Ticks;
    NewTimer(trigger->Timer, trigger->Ticks);
    trigger->Active = true;
    const int32_t ticks = Ticks;
    LogEntry(dtTriggerDataChange, dstTimerTrigger, Handle, sizeof ticks, &ticks);
  } else {
    trigger->Active = false;
    LogEntry(dtTriggerDataChange, dstTimerTrigger, Handle);
  }
  return 0;
}

int TApdBaseDispatcher::ArmStatusTrigger(int Handle, int Value, bool Activate) {
  const int result = ArmStatusLocked(Handle, Value, Activate);
  if (result == 0 && Activate) WakeDispatchThread();
  return result;
}

int TApdBaseDispatcher::ArmStatusLocked(int Handle, int Value, bool Activate) {
  std::lock_guard state(StateLock);
  auto trigger = FindHandle(StatusTriggers, Handle);
  if (trigger == StatusTriggers.end()) return ecBadTriggerHandle;
  if (Activate) {
    const uint32_t value = static_cast<uint32_t>(Value);
    switch (trigger->Kind) {
      case stModem: {
        const uint32_t mask = value & 0xFF;
        trigger->Value = static_cast<uint16_t>((mask << 8) | (mask & ModemStatus));
        break;
      }
      case stLine:
        // Argument bits overrun, parity, framing, break -> line error bits 0x02 .. 0x10.
        trigger->Value = static_cast<uint16_t>((value & 0x0F) << 1);
        break;
      case stOutBuffFree:
      case stOutBuffUsed:
        trigger->Value = static_cast<uint16_t>(value);
        break;
      default:
        break;
    }
    const int32_t condition = trigger->Value;
    LogEntry(dtTriggerDataChange, dstStatusTrigger, Handle, sizeof condition, &condition);
  }
  trigger->Armed = Activate;
  return 0;
}

int TApdBaseDispatcher::DeleteTrigger(int Handle) {
  std::lock_guard state(StateLock);
  if (Handle == AvailTriggerHandle) {
    AvailThreshold = 0;
    LogEntry(dtTriggerDataChange, dstAvailTrigger, 0);
    return 0;
  }
  if (auto timer = FindHandle(TimerTriggers, Handle); timer != TimerTriggers.end()) {
    TimerTriggers.erase(timer);
    NoteTriggerLists(state);
    LogEntry(dtTriggerDispose, dstTimer, Handle);
    return 0;
  }
  if (auto data = FindHandle(DataTriggers, Handle); data != DataTriggers.end()) {
    DataTriggers.erase(data);
    LogEntry(dtTriggerDispose, dstData, Handle);
    return 0;
  }
  if (auto status = FindHandle(StatusTriggers, Handle); status != StatusTriggers.end()) {
    const uint8_t kind = status->Kind;
    StatusTriggers.erase(status);
    NoteTriggerLists(state);
    LogEntry(dtTriggerDispose, dstStatusTrigger, Handle, 1, &kind);
    return 0;
  }
  return ecBadTriggerHandle;
}

void TApdBaseDispatcher::SnapshotTriggers(TriggerSaveRecord& Save) {
  std::lock_guard state(StateLock);
  Save.Clear();
  Save.AvailThreshold = AvailThreshold;
  Save.TimerTriggers = TimerTriggers;
  Save.DataTriggers = DataTriggers;
  Save.StatusTriggers = StatusTriggers;
}

void TApdBaseDispatcher::ReinstallTriggers(const TriggerSaveRecord& Save) {
  {
    StateGuard state(StateLock);
    ReinstallLocked(state, Save);
  }
  WakeDispatchThread();  // active timers and armed status triggers may have come back
}

void TApdBaseDispatcher::ReinstallLocked(const StateGuard& Held, const TriggerSaveRecord& Save) {
  const uint32_t counter = TriggerHandleCounter;
  DropAllTriggers();
  AvailThreshold = Save.AvailThreshold;
  TimerTriggers = Save.TimerTriggers;
  DataTriggers = Save.DataTriggers;
  StatusTriggers = Save.StatusTriggers;
  NoteTriggerLists(Held);
  // New handles continue above every reinstalled one, so none is issued twice.
  int32_t highest = 0;
  for (const auto& t : TimerTriggers) highest = std::max(highest, HandleBase(t.Handle));
  for (const auto& t : DataTriggers) highest = std::max(highest, HandleBase(t.Handle));
  for (const auto& t : StatusTriggers) highest = std::max(highest, HandleBase(t.Handle));
  TriggerHandleCounter = std::min<uint32_t>(
      std::max<uint32_t>(counter, static_cast<uint32_t>(highest / 8) + 1), TriggerHandleCounterLimit);
}

void TApdBaseDispatcher::AttachWindow(HWND Window) {
  std::lock_guard state(StateLock);
  WindowHandlers.Add({Window, false});
  DeliveryNeeded = true;
  LogEntry(dtTriggerHandlerAlloc, dstWindowHandler,
           static_cast<int32_t>(reinterpret_cast<intptr_t>(Window)));
}

void TApdBaseDispatcher::DetachWindow(HWND Window) {
  std::lock_guard state(StateLock);
  if (!WindowHandlers.Remove(Window, InDelivery)) {
    RefreshDeliveryNeed(TDeliveryNeed::Recompute);
    return;
  }
  if (InDelivery) HandlerRemovalPending = true;
  LogEntry(dtTriggerHandlerDispose, dstWindowHandler,
           static_cast<int32_t>(reinterpret_cast<intptr_t>(Window)));
}

void TApdBaseDispatcher::RegisterProcHandler(TApdNotifyProc Proc) {
  std::lock_guard state(StateLock);
  ProcHandlers.Add({Proc, false});
  DeliveryNeeded = true;
}

void TApdBaseDispatcher::DeregisterProcHandler(TApdNotifyProc Proc) {
  std::lock_guard state(StateLock);
  if (ProcHandlers.Remove(Proc, InDelivery) && InDelivery) HandlerRemovalPending = true;
  RefreshDeliveryNeed(TDeliveryNeed::Recompute);
}

void TApdBaseDispatcher::RegisterMethodHandler(const TApdNotifyMethod& Method, bool Synchronize) {
  std::lock_guard state(StateLock);
  MethodHandlers.Add({Method, false, Synchronize});
  DeliveryNeeded = true;
}

void TApdBaseDispatcher::DeregisterMethodHandler(const TApdNotifyMethod& Method) {
  std::lock_guard state(StateLock);
  if (MethodHandlers.Remove(Method, InDelivery) && InDelivery) HandlerRemovalPending = true;
  RefreshDeliveryNeed(TDeliveryNeed::Recompute);
}

void TApdBaseDispatcher::RefreshDeliveryNeed(TDeliveryNeed Mode) {
  std::lock_guard state(StateLock);
  const bool otherReceivers = WindowHandlers.Size() > 1 || !ProcHandlers.Empty() || !MethodHandlers.Empty();
  switch (Mode) {
    case TDeliveryNeed::Recompute:
      DeliveryNeeded = otherReceivers || PortHandlerInstalled;
      break;
    case TDeliveryNeed::PortHandlerInstalled:
      PortHandlerInstalled = true;
      DeliveryNeeded = true;
      break;
    case TDeliveryNeed::PortHandlerRemoved:
      PortHandlerInstalled = false;
      DeliveryNeeded = otherReceivers;
      break;
  }
}
