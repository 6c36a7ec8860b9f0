// The dispatch pass (dispatch thread): status changes, moving input into the dispatch buffer,
// status, data and data-available triggers, timers, and the delivery of trigger events to the
// method, procedure and window handlers. No lock is held while a handler runs: each step
// takes what it needs under the lock, lets go, then delivers.
#include <algorithm>
#include <cctype>

#include "serial/AwUser.h"

namespace {

// The ring trailing-edge event of older Windows versions, reported beside EV_RING.
constexpr DWORD RingTrailingEdgeEvent = 0x2000;
constexpr DWORD ModemEventBits = EV_CTS | EV_DSR | EV_RLSD | EV_RING | RingTrailingEdgeEvent;
constexpr DWORD LineEventBits = EV_BREAK | EV_ERR;

}  // namespace

bool DataTriggerMatch(TDataTrigger& Trigger, uint8_t Byte) {
  const char c = static_cast<char>(Trigger.IgnoreCase ? std::toupper(Byte) : Byte);
  bool started = false;
  for (int i = 0; i < Trigger.Length; ++i) {
    int32_t& cursor = Trigger.Cursors[i];
    if (cursor > 0) {
      cursor = Trigger.Data[cursor] == c ? cursor + 1 : 0;
      if (cursor == Trigger.Length) {
        Trigger.Cursors.fill(0);
        return true;
      }
    } else if (!started && Trigger.Data[0] == c) {
      // Only the first free cursor starts a match on this byte.
      started = true;
      cursor = 1;
      if (Trigger.Length == 1) {
        Trigger.Cursors.fill(0);
        return true;
      }
    }
  }
  return false;
}

void TApdBaseDispatcher::ClearStatusHits() {
  std::lock_guard state(StateLock);
  for (TStatusTrigger& trigger : StatusTriggers) trigger.Hit = false;
  StatusHit = false;
}

// Dispatch thread. Fires the status triggers whose conditions hold; false when close pending
// stops the pass.
bool TApdBaseDispatcher::StatusLoop() {
  while (PollStatusTriggers())
    if (ClosePending) return false;
  if (ClosePending) return false;
  if (StatusHit) ClearStatusHits();
  return true;
}

// Runs on the dispatch thread.
void TApdBaseDispatcher::DispatchPass() {
  const DWORD events = EventBits.load();
  if (events & ModemEventBits) {
    RefreshModemStatus();
    if (!InDelivery && !StatusLoop()) return;
  }
  if (events & LineEventBits) {
    RefreshLineErrors();
    if (!InDelivery && !StatusLoop()) return;
  }

  FillDispatchBuffer();

  if (!InDelivery) {
    {
      std::lock_guard state(StateLock);
      ModemStatus = SampleModemStatus(0xF0);  // line states renewed, change bits kept
    }
    while (PollStatusTriggers())
      if (ClosePending) return;
    if (ClosePending) return;
    while (ScanReceived())
      if (ClosePending) return;
    if (ClosePending) return;
  }
  if (StatusHit) ClearStatusHits();

  SignalPassDone();

  if (!ClosePending && !InDelivery) {
    StatusHit = false;
    while (!ClosePending && (PollStatusTriggers() || PollTimerTriggers())) {
    }
    if (StatusHit) ClearStatusHits();
  }
}

DWORD TApdBaseDispatcher::PassInterval(DWORD Interval) {
  if (!ThreadExists(tkComThread)) return Interval;
  {
    InputGuard input(InputLock);
    if (InputBlocked || Input.Full(input) || DriverInputLeft) return Interval;
  }
  if (!HaveTimerTriggers.load(std::memory_order_relaxed) && !HaveStatusTriggers.load(std::memory_order_relaxed))
    return INFINITE;
  std::lock_guard state(StateLock);
  for (const TTimerTrigger& trigger : TimerTriggers)
    if (trigger.Active) return Interval;
  for (const TStatusTrigger& trigger : StatusTriggers)
    if (trigger.Armed) return Interval;
  return INFINITE;
}

// Runs on the dispatch thread. Delivers at most one batch of events.
bool TApdBaseDispatcher::ScanReceived() {
  uint64_t head;
  {
    InputGuard input(InputLock);
    if (!Input.IsOpen(input)) return false;
    head = Input.FilledCount(input);
  }
  uint64_t mark = ScanMark;
  bool haveDataTriggers;
  {
    std::lock_guard state(StateLock);
    haveDataTriggers = !DataTriggers.empty();
  }

  if (!haveDataTriggers) {
    mark = head;
  } else {
    for (; mark != head; ++mark) {
      bool anyMatched = false;
      int32_t longest = 0;
      int32_t threshold;
      {
        // Order: InputLock, StateLock.
        InputGuard input(InputLock);
        std::lock_guard state(StateLock);
        if (!Input.IsOpen(input)) return false;
        const uint8_t byte = Input.ByteAt(input, mark);
        for (TDataTrigger& trigger : DataTriggers) {
          if (trigger.Length == 0) continue;
          trigger.Matched = trigger.Matched || DataTriggerMatch(trigger, byte);
          if (trigger.Matched) {
            anyMatched = true;
            longest = std::max(longest, trigger.Length);
          }
        }
        threshold = AvailThreshold;
      }
      if (!anyMatched) continue;

      bool result = true;
      if (threshold != 0 && mark != NotifyMark) {
        int32_t inFront;
        {
          InputGuard input(InputLock);
          inFront = static_cast<int32_t>(Input.WaitingThrough(input, mark)) - longest;
        }
        if (inFront >= threshold) {
          LogEntry(dtTrigger, dstAvail, inFront);
          ScanMark = NotifyMark = mark;
          result = DeliverTrigger(TriggerAvailMessage, static_cast<WPARAM>(inFront), 0);
          if (ClosePending) return false;
        }
      }
      // From the last data trigger to the first.
      for (size_t i = SIZE_MAX;;) {
        int32_t handle, length;
        {
          std::lock_guard state(StateLock);
          if (i == SIZE_MAX) i = DataTriggers.size();
          if (i == 0) break;
          --i;
          if (i >= DataTriggers.size() || !DataTriggers[i].Matched) continue;
          DataTriggers[i].Matched = false;
          handle = DataTriggers[i].Handle;
          length = DataTriggers[i].Length;
          LogEntry(dtTrigger, dstData, handle);
        }
        result = DeliverTrigger(TriggerDataMessage, static_cast<WPARAM>(handle),
                                static_cast<WORD>(length));
        if (ClosePending) return false;
      }
      ScanMark = mark + 1;
      return result;
    }
  }

  ScanMark = mark;
  int32_t threshold;
  {
    std::lock_guard state(StateLock);
    threshold = AvailThreshold;
  }
  if (threshold == 0 || mark == NotifyMark) return false;
  const int waiting = BytesWaiting();
  if (waiting < threshold) return false;
  LogEntry(dtTrigger, dstAvail, waiting);
  NotifyMark = mark;
  return DeliverTrigger(TriggerAvailMessage, static_cast<WPARAM>(waiting), 0);
}

// Runs on the dispatch thread. Fires at most one status trigger.
bool TApdBaseDispatcher::PollStatusTriggers() {
  if (!HaveStatusTriggers.load(std::memory_order_relaxed)) return false;  // the usual case
  // The output counts need OutputLock, which must not be taken inside StateLock.
  bool needCounts = false;
  {
    std::lock_guard state(StateLock);
    if (StatusTriggers.empty()) return false;
    for (const TStatusTrigger& trigger : StatusTriggers)
      if (trigger.Armed && (trigger.Kind == stOutBuffFree || trigger.Kind == stOutBuffUsed))
        needCounts = true;
  }
  int pending = 0, room = 0;
  if (needCounts) {
    OutputGuard output(OutputLock);
    pending = OutputPending();
    room = static_cast<int>(OutQueueSize) - pending;
  }

  int32_t handle = 0;
  WORD data = 0;
  {
    std::lock_guard state(StateLock);
    auto fired = std::find_if(StatusTriggers.begin(), StatusTriggers.end(),
                              [&](const TStatusTrigger& trigger) {
      if (!trigger.Armed || trigger.Hit) return false;
      switch (trigger.Kind) {
        case stModem:
          return (ModemStatus & (trigger.Value >> 8)) != (trigger.Value & 0xFFu);
        case stLine:
          return (LineErrorWord.load() & trigger.Value) != 0;
        case stOutBuffFree:
          return room >= static_cast<int>(trigger.Value);
        case stOutBuffUsed:
          return pending <= static_cast<int>(trigger.Value);
        case stOutSent:
          return OutputSent.load();
        default:
          return false;
      }
    });
    if (fired == StatusTriggers.end()) return false;
    if (fired->Kind == stLine) fired->Value = static_cast<uint16_t>(LineErrorWord.load());
    if (fired->Kind == stOutSent) OutputSent = false;
    if (fired->Kind == stOutBuffFree) data = static_cast<WORD>(room);
    if (fired->Kind == stOutBuffUsed) data = static_cast<WORD>(pending);
    fired->Armed = false;
    fired->Hit = true;
    StatusHit = true;
    handle = fired->Handle;
    LogEntry(dtTrigger, dstStatus, handle);
  }
  return DeliverTrigger(TriggerStatusMessage, static_cast<WPARAM>(handle), data);
}

// Runs on the dispatch thread. Fires at most one timer trigger.
bool TApdBaseDispatcher::PollTimerTriggers() {
  if (!HaveTimerTriggers.load(std::memory_order_relaxed)) return false;  // the usual case
  int32_t handle = 0;
  {
    std::lock_guard state(StateLock);
    auto fired = std::find_if(TimerTriggers.begin(), TimerTriggers.end(),
                              [](const TTimerTrigger& t) { return t.Active && TimerExpired(t.Timer); });
    if (fired == TimerTriggers.end()) return false;
    fired->Active = false;
    handle = fired->Handle;
    LogEntry(dtTrigger, dstTimer, handle);
  }
  return DeliverTrigger(TriggerTimerMessage, static_cast<WPARAM>(handle), 0);
}

bool TApdBaseDispatcher::RunSynchronized(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam,
                                         LPARAM lParam) {
  Method.Code(Method.Self, Msg, wParam, lParam);
  return true;
}

// Dispatch thread. Each returns whether the handler has returned (a window or synchronised
// call abandoned after the time-out may still be running).
bool TApdBaseDispatcher::CallHandler(const TMethodHandler& Handler, UINT Message, WPARAM wParam, LPARAM lParam) {
  if (Handler.Synchronize) return RunSynchronized(Handler.Method, Message, wParam, lParam);
  Handler.Method.Code(Handler.Method.Self, Message, wParam, lParam);
  return true;
}

bool TApdBaseDispatcher::CallHandler(const TProcHandler& Handler, UINT Message, WPARAM wParam, LPARAM lParam) {
  Handler.Proc(Message, wParam, lParam);
  return true;
}

bool TApdBaseDispatcher::CallHandler(const TWindowHandler& Handler, UINT Message, WPARAM wParam, LPARAM lParam) {
  // A handler that does not return in time is abandoned for this delivery; what it had read so
  // far still counts.
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(Handler.Window, Message, wParam, lParam, SMTO_BLOCK, TriggerSendTimeoutMs,
                             &answer) != 0;
}

// Dispatch thread. Each handler starts reading at the same position: the waiting bytes are
// lent to it for the call and taken back after it. False when the port was closed from inside
// a handler.
template <typename Handler>
bool TApdBaseDispatcher::ServeList(const HandlerList<Handler>& List, UINT Message, WPARAM wParam,
                                   LPARAM lParam) {
  for (size_t i = 0;; ++i) {
    Handler handler;
    {
      std::lock_guard state(StateLock);
      if (!List.CopyOut(i, handler)) return true;
    }
    if (handler.Removed) continue;
    {
      InputGuard input(InputLock);
      Input.LendToHandler(input);
    }
    CallHandler(handler, Message, wParam, lParam);
    {
      InputGuard input(InputLock);
      Input.TakeBackFromHandler(input);
    }
    if (ClosePending) return false;
  }
}

// Runs on the dispatch thread. Handlers run with no dispatcher lock held: method and procedure
// handlers on this thread (or synchronised), window handlers on their window's thread while
// this thread waits in SendMessageTimeout.
bool TApdBaseDispatcher::DeliverTrigger(UINT Message, WPARAM wParam, WORD Data) {
  bool toWindows;
  {
    std::lock_guard state(StateLock);
    if (!DeliveryNeeded) return true;
    InDelivery = true;
    toWindows = WindowHandlers.Size() > 1 || PortHandlerInstalled;
  }
  const bool availKind = Message == TriggerAvailMessage || Message == TriggerDataMessage;
  // However the delivery ends, a handler's exception included, the dispatcher leaves it: reads
  // consume again, and a later close is not taken for one from inside a handler. Bytes read
  // ahead by a delivery that did not complete are not consumed.
  struct DeliveryEnd {
    TApdBaseDispatcher& Dispatcher;
    bool Consumed = false;
    ~DeliveryEnd() { Dispatcher.EndDelivery(Consumed); }
  } deliveryEnd{*this};
  if (availKind) {
    InputGuard input(InputLock);
    Input.BeginDelivery(input);
  }
  const LPARAM lParam = (static_cast<LPARAM>(DispatcherHandle) << 16) + Data;

  const bool served = ServeList(MethodHandlers, Message, wParam, lParam) &&
                      ServeList(ProcHandlers, Message, wParam, lParam) &&
                      (!toWindows || ServeList(WindowHandlers, Message, wParam, lParam));
  if (!served) return false;
  if (!availKind) return true;
  // What the handler that read the most took is consumed.
  deliveryEnd.Consumed = true;
  InputGuard input(InputLock);
  return Message != TriggerAvailMessage || Input.MostRead(input) == wParam;
}

// Dispatch thread, as DeliverTrigger returns or unwinds.
void TApdBaseDispatcher::EndDelivery(bool Consumed) {
  {
    InputGuard input(InputLock);
    Input.EndDelivery(input, Consumed);
  }
  std::lock_guard state(StateLock);
  InDelivery = false;
  if (HandlerRemovalPending) {
    WindowHandlers.PurgeRemoved();
    ProcHandlers.PurgeRemoved();
    MethodHandlers.PurgeRemoved();
    HandlerRemovalPending = false;
    RefreshDeliveryNeed(TDeliveryNeed::Recompute);
  }
}
