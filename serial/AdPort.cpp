// The port component's lifetime (construction, loading, copying, destruction), the way to its
// dispatcher, and the device layer.
#include "serial/AdPort.h"

#include "platform/hooks.h"
#include "serial/AdExcept.h"
#include "serial/AwWin32.h"

TApdCustomComPort::TApdCustomComPort(QObject* owner) : TApdBaseComponent(owner) {
  // Every property starts at its default (member initialisers); siblings may look for ports.
  NotifyInsertion();
}

TApdComPort::TApdComPort(QObject* owner) : TApdCustomComPort(owner) {}

TApdCustomComPort::~TApdCustomComPort() {
  // Siblings (the light controller) hear of the removal while this port is still whole.
  NotifyRemoval();
  try {
    if (portState_ == psOpen) StopPort();
  } catch (const std::exception& e) {
    platform::ShowErrorMessage(e.what());
  }
  // A close deferred to the close-pending message that will now never be handled: finish it
  // here. Freeing the dispatcher waits for its threads (pumping messages).
  if (Dispatcher) ReleaseDispatcher();
  PortUsers.clear();
  SavedTriggers.Clear();
}

void TApdCustomComPort::Loaded() {
  TApdBaseComponent::Loaded();
  if (IsDesigning()) return;
  if (OpenAfterLoad) open_ = true;
  if (!open_) return;
  OpenAfterLoad = false;
  try {
    StartPort();
  } catch (const std::exception& e) {
    open_ = false;
    platform::ShowErrorMessage(e.what());
  }
}

void TApdCustomComPort::Assign(QObject* source) {
  auto* other = qobject_cast<TApdCustomComPort*>(source);
  if (!other || other == this) return;

  PortUsers = other->PortUsers;
  if (TApdBaseDispatcher* d = other->OpenDispatcher()) {
    d->SnapshotTriggers(SavedTriggers);
    RestoreTriggersOnOpen = true;
  }
  ForceApply = other->ForceApply;
  deviceLayer_ = other->deviceLayer_;
  comNumber_ = other->comNumber_;
  baud_ = other->baud_;
  parity_ = other->parity_;
  dataBits_ = other->dataBits_;
  stopBits_ = other->stopBits_;
  inSize_ = other->inSize_;
  outSize_ = other->outSize_;
  autoOpen_ = other->autoOpen_;
  promptForPort_ = other->promptForPort_;
  rs485Mode_ = other->rs485Mode_;
  threadPriorityBoost_ = other->threadPriorityBoost_;
  dtr_ = other->dtr_;
  rts_ = other->rts_;
  bufferFull_ = other->bufferFull_;
  bufferResume_ = other->bufferResume_;
  hwFlowOptions_ = other->hwFlowOptions_;
  swFlowOptions_ = other->swFlowOptions_;
  xOnChar_ = other->xOnChar_;
  xOffChar_ = other->xOffChar_;
  tracing_ = other->tracing_;
  traceSize_ = other->traceSize_;
  traceName_ = other->traceName_;
  traceHex_ = other->traceHex_;
  traceAllHex_ = other->traceAllHex_;
  logging_ = other->logging_;
  logSize_ = other->logSize_;
  logName_ = other->logName_;
  logHex_ = other->logHex_;
  logAllHex_ = other->logAllHex_;
  availTriggerLength_ = other->availTriggerLength_;
  // The copy is closed (a plain field write: an open copy would otherwise close its port).
  if (portState_ == psClosed) open_ = false;
  SetOnTrigger(other->onTrigger_);
  SetOnTriggerAvail(other->onTriggerAvail_);
  SetOnTriggerData(other->onTriggerData_);
  SetOnTriggerStatus(other->onTriggerStatus_);
  SetOnTriggerTimer(other->onTriggerTimer_);
  onPortOpen_ = other->onPortOpen_;
  onPortClose_ = other->onPortClose_;
  tapiMode_ = other->tapiMode_;
}

int TApdCustomComPort::Check(int code) const { return RaiseOnError(code, IsLoading()); }

TApdBaseDispatcher* TApdCustomComPort::CurrentDispatcher() {
  if (!Dispatcher && !IsDesigning() && !IsLoading() && portState_ != psOpen && autoOpen_)
    SetOpen(true);
  return Dispatcher.get();
}

TApdBaseDispatcher* TApdCustomComPort::RequireDispatcher() {
  TApdBaseDispatcher* d = CurrentDispatcher();
  if (!d) throw ECommNotOpen(ecCommNotOpen);
  return d;
}

// A device that hung up while the port was open stays dead: the receive thread has ended,
// writes fail and nothing more arrives. The device layer records the hang-up; this is where the
// user-interface thread acts on it, at the next operation that starts an exchange. Inside the
// port's own events the port stays as it is: a close there would be deferred, and what arrived
// before the hang-up is still being read.
void TApdCustomComPort::CloseIfDeviceGone() {
  if (portState_ != psOpen || deliveryDepth_ > 0) return;
  if (Dispatcher && Dispatcher->DeviceGone()) SetOpen(false);
}

std::unique_ptr<TApdBaseDispatcher> TApdCustomComPort::MakeDispatcher() {
  if (DispatcherFactory) return DispatcherFactory(this);
  if (deviceLayer_ != dlWin32) throw ENullApi(ecNullApi);
  // No telephony layer exists here: tmOn is refused by StartPort before this is reached.
  return std::make_unique<TApdWin32Dispatcher>(this);
}

void TApdCustomComPort::SetDeviceLayer(TDeviceLayer value) {
  if (value == deviceLayer_) return;
  if (portState_ != psClosed || IsDestroying()) return;
  if (!allowedLayers_.Contains(value)) return;
  deviceLayer_ = value;
  DeviceLayerSwitched();
}

void TApdCustomComPort::ReleaseDispatcher() {
  AttachNotifyWindow(false);
  Dispatcher.reset();
  portState_ = psClosed;
  open_ = false;
}
