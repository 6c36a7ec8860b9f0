// Opening and closing the port: the Open property, the open sequence (StartPort) with its
// result mapping, the close sequence (StopPort) with its deferral when the close comes from
// inside one of the port's own events, moving an open port to another number, and asking for
// a port number.
#include <cstdio>
#include <exception>

#include "platform/hooks.h"
#include "serial/AdExcept.h"
#include "serial/AdPort.h"

void TApdCustomComPort::SetOpen(bool value) {
  if (value == open_) return;
  if (IsDesigning() || IsLoading()) {
    open_ = value;
    if (value) OpenAfterLoad = true;
    return;
  }
  if (!value) {
    StopPort();
    return;
  }
  if (portState_ != psClosed) {
    // A close is still running; the open follows when it has finished.
    reopenWhenClosed_ = true;
    return;
  }
  StartPort();
}

void TApdCustomComPort::ResolvePortNumber() {
  if (comNumber_ != 0) return;
  if (!promptForPort_) throw ENoPortSelected(ecNoPortSelected);
  int chosen = 0;
  if (!platform::PromptForPort(chosen)) throw ENoPortSelected(ecNoPortSelected);
  SetComNumber(static_cast<uint16_t>(chosen));
}

int TApdCustomComPort::OpenDevice() {
  // 13 characters with the terminator hold "\\.\COM65535".
  char path[13];
  std::snprintf(path, sizeof(path), "\\\\.\\COM%d", static_cast<int>(comNumber_));
  uint32_t options = 0;
  if (dtr_) options |= ptoDTROn;
  if (rts_) options |= ptoRTSOn;
  if (hwFlowOptions_.Contains(hwfUseDTR)) options |= ptoDTRFlow;
  if (hwFlowOptions_.Contains(hwfUseRTS)) options |= ptoRTSFlow;
  return Dispatcher->OpenPort(path, baud_, static_cast<int>(parity_), dataBits_, stopBits_, inSize_,
                              outSize_, options);
}

void TApdCustomComPort::StartPort() {
  // No telephony layer adopts devices here, so a port in telephony mode has no device.
  if (tapiMode_ == tmOn) throw ENotOpenedByTapi(ecNotOpenedByTapi);
  ResolvePortNumber();
  Dispatcher = MakeDispatcher();
  try {
    Dispatcher->SetDeviceName("COM" + std::to_string(comNumber_));
    int result = OpenDevice();
    if (result == -ERROR_ACCESS_DENIED)
      result = ecAlreadyOpen;
    else if (result == -ERROR_FILE_NOT_FOUND || result == -ERROR_PATH_NOT_FOUND)
      result = ecBadId;
    if (result != 0) Check(result);

    portState_ = psOpen;
    RefreshEventMode();
    ForceApply = true;
    SetTracing(tracing_);
    SetLogging(logging_);
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
    SetXOnChar(xOnChar_);
    SetXOffChar(xOffChar_);
    SetAvailTriggerLength(availTriggerLength_);
    SetDTR(dtr_);
    SetRTS(rts_);
    SetUseEventWord(useEventWord_);
    SetRS485Mode(rs485Mode_);
    SetThreadPriorityBoost(threadPriorityBoost_);
    ForceApply = false;
    open_ = true;
    AttachNotifyWindow(true);
    if (RestoreTriggersOnOpen) {
      RestoreTriggersOnOpen = false;
      Dispatcher->ReinstallTriggers(SavedTriggers);
    }
  } catch (...) {
    // Nothing of the failed open stays behind: no window, no dispatcher (its destructor closes
    // the device and ends its threads), no notification.
    ForceApply = false;
    ReleaseDispatcher();
    throw;
  }
  NotifyOpened();
}

void TApdCustomComPort::StopPort() {
  if (portState_ != psOpen) return;
  // A trace or log that cannot be written does not keep the port open: the close goes on and
  // the error is passed on at its end.
  std::exception_ptr dumpError;
  try {
    SetTracing(tlDump);
  } catch (...) {
    dumpError = std::current_exception();
  }
  try {
    SetLogging(tlDump);
  } catch (...) {
    if (!dumpError) dumpError = std::current_exception();
  }
  portState_ = psShuttingDown;
  NotifyClosing();
  Dispatcher->SnapshotTriggers(SavedTriggers);
  RestoreTriggersOnOpen = true;
  Dispatcher->ClosePort();
  // The dispatcher defers its release whenever a delivery is under way. Only a close from
  // inside one of this port's own events has to wait for the close-pending message: the
  // dispatch thread cannot finish its delivery before the handler returns. A close from
  // anywhere else that merely met a delivery in flight frees the dispatcher at once; freeing it
  // pumps this thread's messages until its threads have ended, which lets that delivery finish
  // (its message is dropped: the port is shutting down).
  if (Dispatcher->IsInDelivery() && deliveryDepth_ > 0) {
    // Closed from inside one of this port's events: the dispatch thread is waiting for the
    // handler to return and releases its buffers as it ends. The dispatcher is freed when the
    // close-pending message finds its threads gone.
    PostMessageA(notifyWindow_, ClosePendingMessage, 0,
                 static_cast<LPARAM>(Dispatcher->Handle()) << 16);
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
      } else {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  } else {
    ReleaseDispatcher();
  }
  NotifyClosed();
  if (dumpError) std::rethrow_exception(dumpError);
}

// The close-pending message: the deferred close finishes once the dispatcher's threads have all
// ended; until then the message comes round again.
void TApdCustomComPort::FinishDeferredClose(TApdBaseDispatcher* dispatcher, LPARAM lParam) {
  if (dispatcher != Dispatcher.get() || portState_ != psShuttingDown) return;  // stale message
  if (dispatcher->AreThreadsActive()) {
    PostMessageA(notifyWindow_, ClosePendingMessage, 0, lParam);
    return;
  }
  ReleaseDispatcher();
  if (reopenWhenClosed_) {
    reopenWhenClosed_ = false;
    StartPort();
  }
}

void TApdCustomComPort::SetComNumber(uint16_t value) {
  if (value == comNumber_) return;
  if (portState_ == psOpen)
    ChangeComNumber(value);
  else
    comNumber_ = value;
}

void TApdCustomComPort::ChangeComNumber(uint16_t value) {
  Dispatcher->SnapshotTriggers(SavedTriggers);
  const TTraceLogState tracing = tracing_;
  const TTraceLogState logging = logging_;
  SetOpen(false);
  comNumber_ = value;
  SetTracing(tracing);
  SetLogging(logging);
  if (portState_ == psShuttingDown) {
    // Moved from inside one of the port's own events: the close has been deferred, and the
    // reopen on the new number follows it (with the saved triggers).
    reopenWhenClosed_ = true;
    return;
  }
  SetOpen(true);
  if (TApdBaseDispatcher* d = OpenDispatcher()) d->ReinstallTriggers(SavedTriggers);
}
