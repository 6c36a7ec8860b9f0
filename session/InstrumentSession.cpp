// The session's components, the front end's operations, and how the session tells its
// listeners. The tick is in InstrumentSessionTick.cpp, the receive path in
// InstrumentSessionReceive.cpp.
#include "session/InstrumentSession.h"

#include "platform/sysutils.h"
#include "serial/AdExcept.h"
#include "protocol/Protocol.h"
#include "session/LocalTime.h"

const char* OperationName(SessionOperation operation) {
  switch (operation) {
    case SessionOperation::Connect: return "ConnectBUTClick";
    case SessionOperation::Transmit: return "transmit";
    case SessionOperation::Receive: return "receive";
    case SessionOperation::Link: return "link";
    case SessionOperation::Tick: return "Timer1Timer";
    case SessionOperation::Erase: return "erase";
  }
  return "";
}

InstrumentSession::InstrumentSession(QObject* owner) : QObject(owner) { CreateComponents(); }

InstrumentSession::~InstrumentSession() {
  // The tick first: it is the last component created; then the port, which closes itself.
  delete Timer1;
  Timer1 = nullptr;
  TApdComponentLink::FreeComponents(this);
  ApdComPort1 = nullptr;
}

void InstrumentSession::CreateComponents() {
  ApdComPort1 = new TApdComPort(this);
  ApdComPort1->setObjectName(QStringLiteral("ApdComPort1"));
  ApdComPort1->BeginLoading();
  ApdComPort1->SetBaud(9600);
  ApdComPort1->SetTraceName("TALO.TRC");
  ApdComPort1->SetLogName("TALO.LOG");
  ApdComPort1->SetOnTriggerAvail(TTriggerAvailEvent(this, &InstrumentSession::ApdComPort1TriggerAvail));
  TApdComponentLink::LoadedAll(this);

  Timer1 = new TTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->OnTimer = [this] { RunTick(); };
}

// --- Operations -------------------------------------------------------------------------------

bool InstrumentSession::Connect(uint16_t comNumber, const std::function<void()>& afterOpen) {
  try {
    ApdComPort1->SetComNumber(comNumber);
    ApdComPort1->SetOpen(true);
    if (afterOpen) afterOpen();
    Timer1->SetEnabled(true);
  } catch (const EAPDException& e) {
    Fail(SessionOperation::Connect, kOpeningFailed, e.what(), e.ErrorCode);
    return false;
  } catch (const platform::EInOutError& e) {
    Fail(SessionOperation::Connect, kOpeningFailed, e.what(), -e.ErrorCode);
    return false;
  } catch (const std::exception& e) {
    Fail(SessionOperation::Connect, kOpeningFailed, e.what());
    return false;
  } catch (...) {
    Fail(SessionOperation::Connect, kOpeningFailed, std::string());
    return false;
  }
  return true;
}

void InstrumentSession::RestartReadout() {
  SetConnected(false);
  Timer1->SetInterval(100);
  Step = 0;
}

void InstrumentSession::QueueCommand(const std::string& body) {
  // One slot: a command queued before the previous one went out replaces it.
  PendingCommand = body;
  CommandPending = true;
}

void InstrumentSession::SetTime() { QueueCommand(protocol::ClockSetCommand(LocalNow())); }

bool InstrumentSession::ErasePermitted() {
  if (!BeforeErase) return true;
  std::string reason;
  bool permitted = false;
  try {
    permitted = BeforeErase(reason);
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = "Unknown error";
  }
  if (!permitted) Fail(SessionOperation::Erase, kEraseRefused, reason);
  return permitted;
}

bool InstrumentSession::ApplyFlags(uint16_t newFlagsWord) {
  // Writing the configuration block makes the instrument erase its results.
  if (!ErasePermitted()) return false;
  QueueCommand(protocol::ConfigWriteCommand(state_.config, newFlagsWord));
  return true;
}

bool InstrumentSession::ClearResults() {
  // Writing the configuration unchanged makes the instrument erase its results.
  if (!ErasePermitted()) return false;
  QueueCommand(protocol::ConfigWriteCommand(state_.config, state_.config.flagsWord));
  return true;
}

void InstrumentSession::ClosePort() { ApdComPort1->SetOpen(false); }

void InstrumentSession::Close() {
  // A tick that is letting events run when the session closes must not reopen the port.
  closing_ = true;
  ApdComPort1->SetOpen(false);
}

void InstrumentSession::SetConnected(bool connected) {
  if (connected == connected_) return;
  connected_ = connected;
  Notify({SessionChange::Connection});
}

// --- Listeners --------------------------------------------------------------------------------

void InstrumentSession::AddListener(SessionListener* listener) { listeners_.push_back(listener); }

void InstrumentSession::RemoveListener(SessionListener* listener) { std::erase(listeners_, listener); }

template <class F>
void InstrumentSession::ForEachListener(F&& f) {
  // A copy: a listener may add or remove listeners while it is told.
  const std::vector<SessionListener*> listeners = listeners_;
  for (SessionListener* listener : listeners)
    if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) f(*listener);
}

void InstrumentSession::Notify(const SessionChange& change) {
  ForEachListener([&](SessionListener& l) { l.SessionChanged(change); });
}

void InstrumentSession::NotifyCompleted() {
  ForEachListener([](SessionListener& l) { l.ReadoutCompleted(); });
}

void InstrumentSession::Fail(SessionOperation operation, const std::string& message, const std::string& reason,
                             int errorCode) {
  const SessionFailure failure{operation, message, reason, errorCode};
  ForEachListener([&](SessionListener& l) { l.OperationFailed(failure); });
}

void InstrumentSession::Succeed(SessionOperation operation) {
  ForEachListener([&](SessionListener& l) { l.OperationSucceeded(operation); });
}
