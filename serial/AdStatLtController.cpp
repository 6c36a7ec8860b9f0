// The status-light controller: tracking on and off, the triggers it adds to the port, its
// receive, status and timer handlers, and how it follows its port and lamps.
#include "serial/AdStatLtController.h"

#include <exception>
#include <vector>

#include "serial/AdExcept.h"
#include "serial/AdPort.h"

namespace {

// Modem status register bits watched for each lamp.
constexpr uint16_t CTSMask = 0x10;
constexpr uint16_t DSRMask = 0x20;
constexpr uint16_t DCDMask = 0x80;
constexpr uint16_t RingMask = 0x04;
// Line-status trigger conditions: overrun, parity and framing errors; break.
constexpr uint16_t LineErrorCondition = 7;
constexpr uint16_t LineBreakCondition = 8;

}  // namespace

// --- TLightSet ---

void TLightSet::Forget(const QObject* light) {
  for (QPointer<TApdCustomStatusLight>* slot : {&cts_, &dsr_, &dcd_, &ring_, &txd_, &rxd_, &error_, &break_}) {
    if (slot->data() == light) *slot = nullptr;
  }
}

void TLightSet::AllOut() {
  for (TApdCustomStatusLight* lamp : {cts_.data(), dsr_.data(), dcd_.data(), ring_.data(), txd_.data(),
                                      rxd_.data(), error_.data(), break_.data()}) {
    if (lamp) lamp->SetLit(false);
  }
}

// --- Construction and the component scheme ---

TApdCustomSLController::TApdCustomSLController(QObject* owner)
    : TApdBaseComponent(owner), lights_(std::make_unique<TLightSet>()) {
  for (TApdComponentLink* link : Components(owner)) {
    if (auto* port = qobject_cast<TApdCustomComPort*>(link->ComponentObject())) {
      comPort_ = port;
      if (!IsLoading()) RegisterWithPort();
      break;
    }
  }
  NotifyInsertion();
}

TApdSLController::TApdSLController(QObject* owner) : TApdCustomSLController(owner) {}

TApdCustomSLController::~TApdCustomSLController() {
  NotifyRemoval();
  if (comPort_) {
    try {
      SetTracking(false);
    } catch (const std::exception&) {
      // The port refused to drop a trigger; its handlers are back in place all the same.
    }
  }
  UnregisterFromPort();
  lights_.reset();
}

void TApdCustomSLController::Loaded() {
  TApdBaseComponent::Loaded();
  if (comPort_) RegisterWithPort();
}

void TApdCustomSLController::Notification(QObject* component, TOperation operation) {
  TApdBaseComponent::Notification(component, operation);
  if (operation == opRemove) {
    if (component == comPort_.data()) {
      try {
        SetTracking(false);
      } catch (const std::exception&) {
        // Handlers are restored even when a trigger cannot be dropped.
      }
      registeredPort_ = nullptr;  // the port is going; its user list goes with it
      comPort_ = nullptr;
      trackingPending_ = false;
      staleTriggers_.clear();
    }
    if (lights_) lights_->Forget(component);
  } else if (!comPort_ && component != this) {
    if (auto* port = qobject_cast<TApdCustomComPort*>(component)) {
      comPort_ = port;
      if (!IsLoading()) RegisterWithPort();
    }
  }
}

void TApdCustomSLController::RegisterWithPort() {
  if (registeredPort_ == comPort_) return;
  UnregisterFromPort();
  if (!comPort_) return;
  comPort_->AddPortUser(TPortCallback(this, &TApdCustomSLController::PortOpenClose));
  registeredPort_ = comPort_;
}

void TApdCustomSLController::UnregisterFromPort() {
  if (!registeredPort_) return;
  registeredPort_->RemovePortUser(TPortCallback(this, &TApdCustomSLController::PortOpenClose));
  registeredPort_ = nullptr;
}

// --- Properties ---

void TApdCustomSLController::SetComPort(TApdCustomComPort* port) {
  if (port == comPort_.data()) return;
  UnregisterFromPort();
  const bool wasTracking = tracking_;
  SetTracking(false);
  comPort_ = port;
  staleTriggers_.clear();
  if (!port) return;
  SetTracking(wasTracking);
  RegisterWithPort();
}

void TApdCustomSLController::SetLights(std::unique_ptr<TLightSet> lights) {
  lights_ = lights ? std::move(lights) : std::make_unique<TLightSet>();
}

void TApdCustomSLController::SetTracking(bool value) {
  if (IsDesigning() || IsLoading()) return;
  if (value == tracking_) {
    // Switching off also withdraws an "on" still waiting for the port to open.
    if (!value) trackingPending_ = false;
    return;
  }
  if (!comPort_) throw EPortNotAssigned(ecPortNotAssigned);
  TApdCustomComPort* port = comPort_;
  if (!port->Open()) {
    trackingPending_ = value;
    if (value) return;
  }
  tracking_ = value;
  if (value) {
    savedTriggerAvail_ = port->OnTriggerAvail();
    savedTriggerStatus_ = port->OnTriggerStatus();
    savedTriggerTimer_ = port->OnTriggerTimer();
    port->SetOnTriggerAvail(TTriggerAvailEvent(this, &TApdCustomSLController::PortTriggerAvail));
    port->SetOnTriggerStatus(TTriggerStatusEvent(this, &TApdCustomSLController::PortTriggerStatus));
    port->SetOnTriggerTimer(TTriggerTimerEvent(this, &TApdCustomSLController::PortTriggerTimer));
    AddTriggers();  // a failure leaves tracking on, the lamps as they are
  } else {
    port->SetOnTriggerAvail(savedTriggerAvail_);
    port->SetOnTriggerStatus(savedTriggerStatus_);
    port->SetOnTriggerTimer(savedTriggerTimer_);
    savedTriggerAvail_.Clear();
    savedTriggerStatus_.Clear();
    savedTriggerTimer_.Clear();
    RemoveTriggers();
  }
  ResetLamps();
}

// --- Triggers ---

void TApdCustomSLController::AddTriggers() {
  TApdCustomComPort* port = comPort_;
  const TLightSet& l = *lights_;
  const bool modemLamps = l.CTSLight() || l.DSRLight() || l.DCDLight() || l.RINGLight();
  try {
    if (modemLamps) {
      modemTrigger_ = static_cast<uint16_t>(port->NewStatusTrigger(stModem));
      if (l.RINGLight()) ringOffTrigger_ = static_cast<uint16_t>(port->NewTimerTrigger());
    }
    if (l.ERRORLight()) {
      lineErrorTrigger_ = static_cast<uint16_t>(port->NewStatusTrigger(stLine));
      errorOffTrigger_ = static_cast<uint16_t>(port->NewTimerTrigger());
    }
    if (l.BREAKLight()) {
      lineBreakTrigger_ = static_cast<uint16_t>(port->NewStatusTrigger(stLine));
      breakOffTrigger_ = static_cast<uint16_t>(port->NewTimerTrigger());
    }
    if (l.RXDLight()) rxdOffTrigger_ = static_cast<uint16_t>(port->NewTimerTrigger());
    if (l.TXDLight()) {
      outSentTrigger_ = static_cast<uint16_t>(port->NewStatusTrigger(stOutSent));
      txdOffTrigger_ = static_cast<uint16_t>(port->NewTimerTrigger());
    }
    modemMask_ = 0;
    if (l.CTSLight()) modemMask_ |= CTSMask;
    if (l.DSRLight()) modemMask_ |= DSRMask;
    if (l.DCDLight()) modemMask_ |= DCDMask;
    if (l.RINGLight()) modemMask_ |= RingMask;
    if (modemLamps) port->ArmStatusTrigger(modemTrigger_, modemMask_, true);
    if (l.ERRORLight()) port->ArmStatusTrigger(lineErrorTrigger_, LineErrorCondition, true);
    if (l.BREAKLight()) port->ArmStatusTrigger(lineBreakTrigger_, LineBreakCondition, true);
    if (l.TXDLight()) port->ArmStatusTrigger(outSentTrigger_, 0, true);
  } catch (...) {
    modemMask_ = 0;
    try {
      RemoveTriggers();
    } catch (const std::exception&) {
      // The first failure is the one passed on.
    }
    throw;
  }
}

// Drops every trigger this controller added (those of lamps assigned since included). While
// the port is closed nothing can be dropped, but the port saved them and will put them back at
// its next open: they are remembered and dropped then.
void TApdCustomSLController::RemoveTriggers() {
  std::vector<uint16_t> handles;
  for (uint16_t* handle : {&modemTrigger_, &lineErrorTrigger_, &lineBreakTrigger_, &outSentTrigger_,
                           &errorOffTrigger_, &breakOffTrigger_, &rxdOffTrigger_, &txdOffTrigger_,
                           &ringOffTrigger_}) {
    if (*handle != 0) handles.push_back(*handle);
    *handle = 0;
  }
  modemMask_ = 0;
  TApdCustomComPort* port = comPort_;
  if (!port) return;
  if (port->PortState() != psOpen) {
    staleTriggers_.insert(staleTriggers_.end(), handles.begin(), handles.end());
    return;
  }
  std::exception_ptr failure;
  for (uint16_t handle : handles) {
    try {
      port->DropTrigger(handle);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TApdCustomSLController::DropStaleTriggers() {
  TApdCustomComPort* port = comPort_;
  std::vector<uint16_t> stale;
  stale.swap(staleTriggers_);
  if (!port || port->PortState() != psOpen) return;
  for (uint16_t handle : stale) {
    try {
      port->DropTrigger(handle);
    } catch (const std::exception&) {
      // Not reinstalled after all: nothing to drop.
    }
  }
}

void TApdCustomSLController::ResetLamps() {
  lights_->AllOut();
  TApdCustomComPort* port = comPort_;
  if (!port || !tracking_) return;
  if (TApdCustomStatusLight* lamp = lights_->CTSLight()) lamp->SetLit(port->CtsState());
  if (TApdCustomStatusLight* lamp = lights_->DSRLight()) lamp->SetLit(port->DsrState());
  if (TApdCustomStatusLight* lamp = lights_->DCDLight()) lamp->SetLit(port->DcdState());
}

// --- Handlers installed in the port while tracking (user-interface thread) ---

void TApdCustomSLController::PortTriggerAvail(QObject* cp, uint16_t count) {
  TApdCustomStatusLight* lamp = lights_->RXDLight();
  // A lamp assigned after tracking began has no timer to put it out: it is left alone.
  if (lamp && !lamp->Lit() && comPort_ && rxdOffTrigger_ != 0) {
    lamp->SetLit(true);
    comPort_->ArmTimerTrigger(rxdOffTrigger_, RXDOffTimeout, true);
  }
  savedTriggerAvail_(cp, count);
}

void TApdCustomSLController::PortTriggerStatus(QObject* cp, uint16_t triggerHandle) {
  TApdCustomComPort* port = comPort_;
  const TLightSet& l = *lights_;
  if (port && triggerHandle != 0) {
    if (triggerHandle == modemTrigger_) {
      if (TApdCustomStatusLight* lamp = l.DCDLight()) lamp->SetLit(port->DcdState());
      if (TApdCustomStatusLight* lamp = l.CTSLight()) lamp->SetLit(port->CtsState());
      if (TApdCustomStatusLight* lamp = l.DSRLight()) lamp->SetLit(port->DsrState());
      if (TApdCustomStatusLight* lamp = l.RINGLight(); lamp && ringOffTrigger_ != 0) {
        if (port->RingState() && !lamp->Lit()) {
          lamp->SetLit(true);
          port->ArmTimerTrigger(ringOffTrigger_, RingOffTimeout, true);
        }
      }
      port->ArmStatusTrigger(modemTrigger_, modemMask_, true);
    } else if (triggerHandle == lineErrorTrigger_) {
      if (TApdCustomStatusLight* lamp = l.ERRORLight()) lamp->SetLit(true);
      port->ArmTimerTrigger(errorOffTrigger_, ErrorOffTimeout, true);
      port->LastLineError();
    } else if (triggerHandle == lineBreakTrigger_) {
      if (TApdCustomStatusLight* lamp = l.BREAKLight()) lamp->SetLit(true);
      port->ArmTimerTrigger(breakOffTrigger_, BreakOffTimeout, true);
      port->BreakSeen();
    } else if (triggerHandle == outSentTrigger_) {
      if (TApdCustomStatusLight* lamp = l.TXDLight()) lamp->SetLit(true);
      port->ArmTimerTrigger(txdOffTrigger_, TXDOffTimeout, true);
    }
  }
  savedTriggerStatus_(cp, triggerHandle);
}

void TApdCustomSLController::PortTriggerTimer(QObject* cp, uint16_t triggerHandle) {
  TApdCustomComPort* port = comPort_;
  const TLightSet& l = *lights_;
  if (port && triggerHandle != 0) {
    if (triggerHandle == errorOffTrigger_) {
      if (TApdCustomStatusLight* lamp = l.ERRORLight()) lamp->SetLit(false);
      port->ArmStatusTrigger(lineErrorTrigger_, LineErrorCondition, true);
    } else if (triggerHandle == breakOffTrigger_) {
      if (TApdCustomStatusLight* lamp = l.BREAKLight()) lamp->SetLit(false);
      port->ArmStatusTrigger(lineBreakTrigger_, LineBreakCondition, true);
    } else if (triggerHandle == rxdOffTrigger_) {
      if (port->InputCount() != 0)
        port->ArmTimerTrigger(rxdOffTrigger_, RXDOffTimeout, true);
      else if (TApdCustomStatusLight* lamp = l.RXDLight())
        lamp->SetLit(false);
    } else if (triggerHandle == txdOffTrigger_) {
      if (port->OutputCount() != 0) {
        port->ArmTimerTrigger(txdOffTrigger_, TXDOffTimeout, true);
      } else {
        if (TApdCustomStatusLight* lamp = l.TXDLight()) lamp->SetLit(false);
        port->ArmStatusTrigger(outSentTrigger_, 0, true);
      }
    } else if (triggerHandle == ringOffTrigger_) {
      if (TApdCustomStatusLight* lamp = l.RINGLight()) lamp->SetLit(false);
    }
  }
  savedTriggerTimer_(cp, triggerHandle);
}

// The port's open/close notification.
void TApdCustomSLController::PortOpenClose(QObject*, bool opening) {
  if (IsDesigning()) return;
  if (!opening) {
    trackingPending_ = tracking_;
    SetTracking(false);
    return;
  }
  DropStaleTriggers();
  if (trackingPending_) {
    trackingPending_ = false;
    SetTracking(true);
  }
}
