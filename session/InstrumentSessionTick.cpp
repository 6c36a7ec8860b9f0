// The session's tick: it decides whether the last request has been answered or has timed out,
// lets the front end show its view, prepares the request of the read-out step, lets pending
// events run, and sends one request frame.
#include <QCoreApplication>
#include <exception>

#include "protocol/Protocol.h"
#include "protocol/ReadoutTable.h"
#include "session/InstrumentSession.h"

namespace {

// Tick periods in milliseconds: during the read-out, and while connected or waiting to connect.
constexpr int kReadoutInterval = 100;
constexpr int kPollInterval = 1000;
// Ticks of the read-out without a valid reply after which the read-out starts again.
constexpr int kReplyTicks = 10;

}  // namespace

void InstrumentSession::RunTick() {
  // An error that escapes the tick is told once, until a tick ends normally again.
  try {
    Timer1Timer(Timer1);
  } catch (const std::exception& e) {
    Fail(SessionOperation::Tick, e.what(), e.what());
    return;
  } catch (...) {
    Fail(SessionOperation::Tick, "Unknown error", std::string());
    return;
  }
  Succeed(SessionOperation::Tick);
}

void InstrumentSession::Timer1Timer(QObject*) {
  // While the front end holds the cycle (a box is open) it stands still; a tick inside a tick
  // does nothing.
  if (Holding() || inTick_ || closing_) return;

  ++TickCount;
  if (!ReplyValid && TickCount < kReplyTicks && Timer1->Interval() < kPollInterval) return;  // waiting
  Notify({SessionChange::Step});
  TickCount = 0;
  if (!ReplyValid) {
    // The last request got no valid reply: start the read-out again.
    SetConnected(false);
    Timer1->SetInterval(kPollInterval);
    Step = 0;
  }
  Notify({SessionChange::View});
  PrepareStepRequest();

  {
    // Received data and the front end's calls may run here, before the frame is built from the
    // command slot.
    inTick_ = true;
    struct EndTick {
      bool& flag;
      ~EndTick() { flag = false; }
    } endTick{inTick_};
    QCoreApplication::processEvents();
  }
  if (closing_) return;
  TransmitRequest();
}

void InstrumentSession::PrepareStepRequest() {
  if (Step < protocol::kReadoutSteps) {
    QueueCommand(protocol::ReadoutTable()[Step].command);
    if (Step == 0) {
      // A new read-out: the identity query goes to "####".
      protocol::BeginReadout(state_);
      Notify({SessionChange::Identity});
      Timer1->SetInterval(kReadoutInterval);
    }
    return;
  }
  // Connected: a queued command goes out, else the status poll.
  SetConnected(true);
  Timer1->SetInterval(kPollInterval);
}

void InstrumentSession::TransmitRequest() {
  const std::string address = protocol::Sub(state_.serial, 1, 4);
  const std::string frame = protocol::BuildRequest(address, CommandPending ? PendingCommand : protocol::kCmdStatus);
  CommandPending = false;

  try {
    ApdComPort1->PurgeInput();
    lastRequest_ = frame.substr(0, frame.size() - 1);
    Notify({SessionChange::Request});
    RxFrame.clear();
    ReplyValid = false;
    InFrame = false;
    ApdComPort1->SendText(frame);
  } catch (const std::exception& e) {
    // A request that did not go out gets no reply: the next processed tick starts the read-out
    // again and the front end shows the disconnected view, rather than going on showing an
    // instrument that may be gone. Told once while sending keeps failing (an unplugged adapter
    // fails every reopen).
    ReplyValid = false;
    Fail(SessionOperation::Transmit, kTransmitFailed, e.what());
    return;
  } catch (...) {
    ReplyValid = false;
    Fail(SessionOperation::Transmit, kTransmitFailed, std::string());
    return;
  }
  Succeed(SessionOperation::Transmit);
}
