// The status-light controller: drives up to eight activity lights (modem lines, receive,
// transmit, line error, break) from a serial port's trigger events. While tracking, it puts
// its own data-available, status and timer handlers in the port's place, passes every event on
// to the handler that was there before, and lights a lamp on activity and puts it out after a
// hold time counted in 55 ms ticks. It hears of the port's opening and closing as a port user.
//
// Everything runs on the user-interface thread (the port's events arrive there).
#pragma once
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <vector>

#include "serial/AdEvents.h"
#include "serial/AdPort.h"
#include "serial/AdStatLt.h"
#include "serial/OoMisc.h"

// Eight lamp slots; the set refers to the lamps, it does not own them.
class TLightSet {
public:
  TApdCustomStatusLight* CTSLight() const { return cts_; }
  void SetCTSLight(TApdCustomStatusLight* light) { cts_ = light; }
  TApdCustomStatusLight* DSRLight() const { return dsr_; }
  void SetDSRLight(TApdCustomStatusLight* light) { dsr_ = light; }
  TApdCustomStatusLight* DCDLight() const { return dcd_; }
  void SetDCDLight(TApdCustomStatusLight* light) { dcd_ = light; }
  TApdCustomStatusLight* RINGLight() const { return ring_; }
  void SetRINGLight(TApdCustomStatusLight* light) { ring_ = light; }
  TApdCustomStatusLight* TXDLight() const { return txd_; }
  void SetTXDLight(TApdCustomStatusLight* light) { txd_ = light; }
  TApdCustomStatusLight* RXDLight() const { return rxd_; }
  void SetRXDLight(TApdCustomStatusLight* light) { rxd_ = light; }
  TApdCustomStatusLight* ERRORLight() const { return error_; }
  void SetERRORLight(TApdCustomStatusLight* light) { error_ = light; }
  TApdCustomStatusLight* BREAKLight() const { return break_; }
  void SetBREAKLight(TApdCustomStatusLight* light) { break_ = light; }

  // Clears every slot that refers to `light`.
  void Forget(const QObject* light);
  // Puts every assigned lamp out.
  void AllOut();

private:
  QPointer<TApdCustomStatusLight> cts_, dsr_, dcd_, ring_, txd_, rxd_, error_, break_;
};

class TApdCustomSLController : public TApdBaseComponent {
  Q_OBJECT

public:
  // Takes the first serial port among the owner's components, if any.
  explicit TApdCustomSLController(QObject* owner);
  ~TApdCustomSLController() override;

  TApdCustomComPort* ComPort() const { return comPort_; }
  void SetComPort(TApdCustomComPort* port);

  TLightSet* Lights() const { return lights_.get(); }
  // Replaces the set; the controller takes ownership.
  void SetLights(std::unique_ptr<TLightSet> lights);

  bool Tracking() const { return tracking_; }
  // EPortNotAssigned without a port; while the port is closed, switching on only sets tracking
  // pending (tracking starts when the port opens).
  void SetTracking(bool value);
  bool TrackingPending() const { return trackingPending_; }

  // Hold times in ticks of 55 ms.
  int ErrorOffTimeout = 36;
  int BreakOffTimeout = 36;
  int RXDOffTimeout = 1;
  int TXDOffTimeout = 1;
  int RingOffTimeout = 8;

  void Loaded() override;
  void Notification(QObject* component, TOperation operation) override;

private:
  // The handlers put into the port while tracking, and the port-user callback.
  void PortTriggerAvail(QObject* cp, uint16_t count);
  void PortTriggerStatus(QObject* cp, uint16_t triggerHandle);
  void PortTriggerTimer(QObject* cp, uint16_t triggerHandle);
  void PortOpenClose(QObject* cp, bool opening);

  void AddTriggers();
  void RemoveTriggers();
  void DropStaleTriggers();
  void ResetLamps();
  void RegisterWithPort();
  void UnregisterFromPort();
  static void LampOn(TApdCustomStatusLight* lamp);
  static void LampOff(TApdCustomStatusLight* lamp);

  QPointer<TApdCustomComPort> comPort_;
  QPointer<TApdCustomComPort> registeredPort_;  // the port this controller is a user of
  std::unique_ptr<TLightSet> lights_;
  bool tracking_ = false;
  bool trackingPending_ = false;

  // The port's handlers from before tracking began.
  TTriggerAvailEvent savedTriggerAvail_;
  TTriggerStatusEvent savedTriggerStatus_;
  TTriggerTimerEvent savedTriggerTimer_;

  uint16_t modemMask_ = 0;
  // Status triggers.
  uint16_t modemTrigger_ = 0;
  uint16_t lineErrorTrigger_ = 0;
  uint16_t lineBreakTrigger_ = 0;
  uint16_t outSentTrigger_ = 0;
  // Timer triggers.
  uint16_t errorOffTrigger_ = 0;
  uint16_t breakOffTrigger_ = 0;
  uint16_t rxdOffTrigger_ = 0;
  uint16_t txdOffTrigger_ = 0;
  uint16_t ringOffTrigger_ = 0;
  // Triggers removed while the port was closed: the port puts them back when it reopens, and
  // they are dropped then.
  std::vector<uint16_t> staleTriggers_;
};

class TApdSLController : public TApdCustomSLController {
  Q_OBJECT
  Q_PROPERTY(bool Tracking READ Tracking WRITE SetTracking)

public:
  explicit TApdSLController(QObject* owner);
};
