// What an InstrumentSession tells the front end that drives it: what changed (so a window can
// redraw just that), that a read-out completed, and that an operation failed or succeeded
// again. Every call comes on the user-interface thread, from inside the session's handlers;
// a listener must not delete the session from inside a call.
#pragma once
#include <string>

#include "protocol/ReadoutTable.h"

// The system's own failure texts.
inline const std::string kOpeningFailed = "Problem opening comm port";
inline const std::string kTransmitFailed = "Problem Comms tx";
inline const std::string kReceiveFailed = "Problem Comms rx";
// "CLEAR" or "APPLY" was refused because the results they would erase could not be kept first.
inline const std::string kEraseRefused = "Results could not be saved; the instrument was not cleared.";

enum class SessionOperation {
  Connect,   // opening the port at "connect": a deliberate act, told every time it fails
  Transmit,  // the tick's request: told once until a request goes out again
  Receive,   // reading what arrived: told once until reading works again
  Link,      // a valid reply came: the link works (never fails; serial-layer errors are told afresh)
  Tick,      // an unexpected error escaped the tick: told once until a tick ends normally
  Erase,     // "CLEAR" or "APPLY": BeforeErase refused, nothing was queued (told every time)
};

// The name of an operation, for latching its failures ("transmit", "receive", "Timer1Timer").
const char* OperationName(SessionOperation operation);
// Failures of operations that repeat by themselves are told once until they succeed again.
inline bool IsRepeating(SessionOperation operation) {
  return operation != SessionOperation::Connect && operation != SessionOperation::Erase;
}

struct SessionFailure {
  SessionOperation operation;
  std::string message;  // what the user is told: one of the texts above, or the tick's error
  std::string reason;   // what the layer below said (an exception's message); may be empty
  // The serial layer's error code behind it (ecBadId: no such port, ecAlreadyOpen: in use or not
  // allowed, ...; a system error as its negated number), or 0.
  int errorCode = 0;
};

struct SessionChange {
  enum Kind {
    Step,         // the tick went on: ConnectStepLAB shows Step
    Request,      // a request is going out: OutLabel shows LastRequest(), InLabel is cleared
    Reply,        // a valid reply came: InLabel shows LastReply()
    Connection,   // Connected() changed (ConnectedRB)
    View,         // a processed tick: show the connected or the disconnected view now
    Identity,     // the serial number (and request address) changed
    Status,       // temperature and battery
    Config,       // the configuration block and what it shows
    Calibration,  // version, calibration date, service centre
    Clock,        // the instrument's clock
    Result,       // one half of one brake test (test, half)
  } kind;
  int test = 0;
  protocol::BlockHalf half = protocol::BlockHalf::Unknown;
};

class SessionListener {
public:
  virtual ~SessionListener() = default;
  virtual void SessionChanged(const SessionChange& change) { (void)change; }
  // The last block of a read-out in which every step's reply was taken has come: the state is
  // complete (State().complete, State().completedAtUtcMs).
  virtual void ReadoutCompleted() {}
  virtual void OperationFailed(const SessionFailure& failure) { (void)failure; }
  virtual void OperationSucceeded(SessionOperation operation) { (void)operation; }
};
