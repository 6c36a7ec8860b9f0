// The port component's notification window and event delivery: the hidden "awComWindow" that
// receives the dispatcher's trigger messages on the user-interface thread, its window
// procedure, the On... event properties and the Fire... steps that call them.
//
// Delivery runs with the dispatcher registry's lock held (re-entrant, user-interface thread
// only), so the dispatcher named by a message cannot vanish while its event runs. Events run
// only while the port state is open: once a close has begun, a trigger message still on its
// way fires nothing, and the rest of a message is dropped as soon as a handler closes the port.
#include <mutex>

#include <QPointer>

#include "platform/hooks.h"
#include "serial/AdExcept.h"
#include "serial/AdPort.h"

namespace {

constexpr const char* ComWindowClassName = "awComWindow";

// The dispatcher handle travels in the high word of lParam.
int DispatcherHandleOf(LPARAM lParam) {
  return static_cast<int>((static_cast<uintptr_t>(lParam) >> 16) & 0xFFFF);
}

bool IsComWindowMessage(UINT msg) {
  return msg == TriggerAvailMessage || msg == TriggerDataMessage || msg == TriggerTimerMessage ||
         msg == TriggerStatusMessage || msg == ClosePendingMessage;
}

// Runs on the thread that owns the window (the user-interface thread).
LRESULT CALLBACK ComWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsComWindowMessage(msg)) return DefWindowProcA(window, msg, wParam, lParam);
  std::lock_guard registry(DispatcherRegistryLock());
  const int handle = DispatcherHandleOf(lParam);
  if (handle >= DispatcherRegistryCount()) return 0;
  TApdBaseDispatcher* dispatcher = DispatcherFromHandle(handle);
  if (!dispatcher || !dispatcher->Owner()) return 0;
  TApdCustomComPort* port = dispatcher->Owner();
  if (port->NotifyWindow() != window) return 0;  // a slot reused since the message was posted
  port->HandleNotifyMessage(dispatcher, msg, wParam, lParam);
  return 0;
}

void RegisterComWindowClass() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ComWindowProc;
    windowClass.cbWndExtra = 4;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = ComWindowClassName;
    RegisterClassA(&windowClass);  // a failure shows as a failed CreateWindowExA below
  });
}

}  // namespace

void TApdCustomComPort::AttachNotifyWindow(bool attach) {
  if (attach) {
    if (notifyWindow_) return;
    RegisterComWindowClass();
    notifyWindow_ = CreateWindowExA(0, ComWindowClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    if (!notifyWindow_) throw ERegisterHandlerFailed(ecRegisterHandlerFailed);
    Dispatcher->AttachWindow(notifyWindow_);
    return;
  }
  if (!notifyWindow_) return;
  if (Dispatcher) Dispatcher->DetachWindow(notifyWindow_);
  DestroyWindow(notifyWindow_);
  notifyWindow_ = nullptr;
}

void TApdCustomComPort::HandleNotifyMessage(TApdBaseDispatcher* dispatcher, UINT msg, WPARAM wParam,
                                            LPARAM lParam) {
  try {
    if (msg == ClosePendingMessage)
      FinishDeferredClose(dispatcher, lParam);
    else if (dispatcher == Dispatcher.get() && portState_ == psOpen)
      DeliverTrigger(msg, wParam, lParam);
  } catch (const std::exception& e) {
    // The application's standard error report; nothing leaves the window procedure.
    platform::ShowErrorMessage(e.what());
  } catch (...) {
    platform::ShowErrorMessage("Unexpected error in a serial port event");
  }
}

void TApdCustomComPort::DeliverTrigger(UINT msg, WPARAM wParam, LPARAM lParam) {
  // A handler may close the port or even free this component: check before every next step.
  QPointer<TApdCustomComPort> self(this);
  TApdBaseDispatcher* const dispatcher = Dispatcher.get();
  auto stillOpen = [&] { return self && portState_ == psOpen && Dispatcher.get() == dispatcher; };
  // While the events run, the dispatch thread waits for them: a close from inside must be
  // deferred (StopPort).
  struct DepthGuard {
    QPointer<TApdCustomComPort>& port;
    int& depth;
    DepthGuard(QPointer<TApdCustomComPort>& p, int& d) : port(p), depth(d) { ++depth; }
    ~DepthGuard() {
      if (port) --depth;
    }
  } guard(self, deliveryDepth_);

  const auto param = static_cast<uint16_t>(wParam);
  const auto data = msg == TriggerAvailMessage ? param : static_cast<uint16_t>(lParam & 0xFFFF);
  FireTrigger(static_cast<uint16_t>(msg), param, data);
  if (!stillOpen()) return;
  switch (msg) {
    case TriggerAvailMessage:
      FireTriggerAvail(param);
      break;
    case TriggerDataMessage:
      FireTriggerData(param);
      break;
    case TriggerTimerMessage:
      FireTriggerTimer(param);
      break;
    case TriggerStatusMessage:
      FireTriggerStatus(param);
      if (!stillOpen()) return;
      switch (param & 7) {
        case stModem:
          FireTriggerModemStatus();
          break;
        case stLine: {
          const bool lineBreak = BreakSeen();
          FireTriggerLineError(LastLineError(), lineBreak);
          break;
        }
        case stOutBuffFree:
          FireTriggerOutbuffFree();
          break;
        case stOutBuffUsed:
          FireTriggerOutbuffUsed();
          break;
        case stOutSent:
          FireTriggerOutSent();
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
}

void TApdCustomComPort::RefreshEventMode() {
  TApdBaseDispatcher* d = OpenDispatcher();
  if (!d) return;
  const bool any = onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ ||
                   onTriggerTimer_ || onTriggerLineError_ || onTriggerModemStatus_ ||
                   onTriggerOutbuffFree_ || onTriggerOutbuffUsed_ || onTriggerOutSent_;
  d->RefreshDeliveryNeed(any ? TDeliveryNeed::PortHandlerInstalled : TDeliveryNeed::PortHandlerRemoved);
}

// --- Event properties ---

void TApdCustomComPort::SetOnTrigger(const TTriggerEvent& handler) {
  onTrigger_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerAvail(const TTriggerAvailEvent& handler) {
  onTriggerAvail_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerData(const TTriggerDataEvent& handler) {
  onTriggerData_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerStatus(const TTriggerStatusEvent& handler) {
  onTriggerStatus_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerTimer(const TTriggerTimerEvent& handler) {
  onTriggerTimer_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerLineError(const TTriggerLineErrorEvent& handler) {
  onTriggerLineError_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerModemStatus(const TNotifyEvent& handler) {
  onTriggerModemStatus_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerOutbuffFree(const TNotifyEvent& handler) {
  onTriggerOutbuffFree_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerOutbuffUsed(const TNotifyEvent& handler) {
  onTriggerOutbuffUsed_ = handler;
  RefreshEventMode();
}
void TApdCustomComPort::SetOnTriggerOutSent(const TNotifyEvent& handler) {
  onTriggerOutSent_ = handler;
  RefreshEventMode();
}

// --- Fire steps: each passes the component itself as the first argument ---

void TApdCustomComPort::FireTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data) {
  onTrigger_(this, msg, triggerHandle, data);
}
void TApdCustomComPort::FireTriggerAvail(uint16_t count) { onTriggerAvail_(this, count); }
void TApdCustomComPort::FireTriggerData(uint16_t triggerHandle) { onTriggerData_(this, triggerHandle); }
void TApdCustomComPort::FireTriggerStatus(uint16_t triggerHandle) {
  onTriggerStatus_(this, triggerHandle);
}
void TApdCustomComPort::FireTriggerTimer(uint16_t triggerHandle) {
  onTriggerTimer_(this, triggerHandle);
}
void TApdCustomComPort::FireTriggerLineError(uint16_t error, bool lineBreak) {
  onTriggerLineError_(this, error, lineBreak);
}
void TApdCustomComPort::FireTriggerModemStatus() { onTriggerModemStatus_(this); }
void TApdCustomComPort::FireTriggerOutbuffFree() { onTriggerOutbuffFree_(this); }
void TApdCustomComPort::FireTriggerOutbuffUsed() { onTriggerOutbuffUsed_(this); }
void TApdCustomComPort::FireTriggerOutSent() { onTriggerOutSent_(this); }
void TApdCustomComPort::FireCharWaited(uint8_t c) { onCharWaited_(this, c); }
