// InstrumentSession: the conversation with one dravik instrument, without a window. It owns the
// port component (ApdComPort1, 9600 baud), the tick (Timer1), the frame collector, the read-out
// step, the command slot and the instrument's state, and runs the timed request/reply cycle:
// on every processed tick exactly one request goes out, the port's data-available event
// collects the reply character by character, and a valid reply moves the state and the step.
// The eleven-step read-out fills the state; after it the instrument is polled once a second and
// a queued command ("set time", "APPLY", "CLEAR") goes out in place of the poll.
//
// Everything runs on the user-interface thread: the tick, the port's data-available event and
// the front end's calls never run in parallel, but they nest: the tick lets pending events run
// before it builds its request, so a receive event or a front end's call can run in the middle
// of a tick. The front end hears of everything through SessionListener; the session shows
// nothing itself. While HoldBack() says so (a message box of the front end is open) the tick and
// the receive path hold still; TakeHeldBackInput() picks up what was held back.
#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/InstrumentState.h"
#include "serial/AdPort.h"
#include "session/SessionListener.h"
#include "session/Timer.h"

class InstrumentSession : public QObject {
public:
  // The components are created with the session; the tick stays off until Connect.
  explicit InstrumentSession(QObject* owner = nullptr);
  // Closes the port; frees the tick, then the port.
  ~InstrumentSession() override;

  // ---- Components ----
  TApdComPort* ApdComPort1 = nullptr;  // the instrument's port, 9600 baud, AutoOpen on
  TTimer* Timer1 = nullptr;            // the tick: 100 ms while reading, 1000 ms when connected

  // ---- Fields of the cycle ----
  std::string RxFrame;          // the reply being collected, from its ':' (bytes, not text)
  bool InFrame = false;         // a ':' has come since the last transmission or completed frame
  bool ReplyValid = false;      // the last completed frame passed the checks; cleared on sending
  std::string PendingCommand;   // command body for the next transmission
  bool CommandPending = false;  // PendingCommand is to be sent (else the status poll "0")
  int32_t TickCount = 0;        // ticks since the last processed tick
  uint16_t Step = 0;            // position in the read-out sequence, 0 to 11

  // ---- What the front end reads ----
  const protocol::InstrumentState& State() const { return state_; }
  // The read-out has completed and the instrument is polled (the window's ConnectedRB).
  bool Connected() const { return connected_; }
  const std::string& LastRequest() const { return lastRequest_; }  // without the carriage return
  const std::string& LastReply() const { return lastReply_; }      // the last valid reply

  // ---- Operations ----
  // Opens COM `comNumber` and starts the tick (its first tick comes one second later);
  // `afterOpen` runs between the opening and the start. False, told as a Connect failure, when
  // the port does not open; the steps before the failure stay done.
  bool Connect(uint16_t comNumber, const std::function<void()>& afterOpen = {});
  void Refresh() { RestartReadout(); }
  // Queue "set time" with the PC's local time now, "APPLY" with `newFlagsWord`, or "CLEAR" (the
  // configuration written unchanged, which erases the results). Sent at the next processed tick.
  // "APPLY" and "CLEAR" erase the instrument's results: they ask BeforeErase first and queue
  // nothing when it refuses (told as an Erase failure); false then.
  void SetTime();
  bool ApplyFlags(uint16_t newFlagsWord);
  bool ClearResults();
  // Closes the port and leaves the cycle running: its next port operation reopens it.
  void ClosePort();
  // Closes the port for good: the tick sends nothing more.
  void Close();

  // ---- Front end seams ----
  void AddListener(SessionListener* listener);
  void RemoveListener(SessionListener* listener);
  // True while the front end wants the cycle to hold still (a box is open).
  std::function<bool()> HoldBack;
  // Reads input held back while HoldBack() said so; the front end calls it once it lets go.
  void TakeHeldBackInput();
  // Called before a command that erases the instrument's results is queued: true when the
  // results it would erase are safe (kept in the archive); false with `reason` set refuses the
  // command. Unset: nothing is asked and the command is queued as always.
  std::function<bool(std::string& reason)> BeforeErase;

  // ---- Handlers and steps of the cycle (public for tests) ----
  void Timer1Timer(QObject* Sender);
  void ApdComPort1TriggerAvail(QObject* CP, uint16_t Count);
  void CheckReply();
  void HandleReply();
  void RestartReadout();

private:
  void CreateComponents();
  void RunTick();
  void PrepareStepRequest();
  void QueueCommand(const std::string& body);
  bool ErasePermitted();
  void TransmitRequest();
  void ReceiveChars(int count);
  void CollectChar(char c);
  void SetConnected(bool connected);
  bool Holding() const { return HoldBack && HoldBack(); }

  void Notify(const SessionChange& change);
  void NotifyCompleted();
  void Fail(SessionOperation operation, const std::string& message, const std::string& reason, int errorCode = 0);
  void Succeed(SessionOperation operation);
  template <class F>
  void ForEachListener(F&& f);

  protocol::InstrumentState state_;
  bool connected_ = false;
  std::string lastRequest_;
  std::string lastReply_;
  std::vector<SessionListener*> listeners_;  // in order of adding; not owned
  bool closing_ = false;     // Close has run: the tick stops sending
  bool inTick_ = false;      // Timer1Timer is running (it lets pending events run)
  bool inReceive_ = false;   // the receive path is reading characters
  bool rxHeldBack_ = false;  // a receive event was left unread while the cycle held still
};
