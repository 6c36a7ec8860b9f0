// The session's receive path: the port's data-available event collects characters into reply
// frames, checks each completed frame and takes a valid one into the state, which moves the
// read-out step. Frames are bytes (std::string) from the port to the state.
#include <QDateTime>
#include <exception>

#include "protocol/InstrumentState.h"
#include "protocol/Protocol.h"
#include "session/InstrumentSession.h"

void InstrumentSession::ApdComPort1TriggerAvail(QObject*, uint16_t Count) {
  // While the cycle holds still the received bytes stay in the port (nothing is read, so
  // nothing is lost) and are taken as soon as it lets go. The same holds for an event that
  // arrives while the receive path is already reading: it cannot interleave with it.
  if (Holding() || inReceive_) {
    rxHeldBack_ = true;
    return;
  }
  // The event announces every byte waiting, those held back before included.
  rxHeldBack_ = false;
  ReceiveChars(Count);
}

void InstrumentSession::TakeHeldBackInput() {
  if (!rxHeldBack_ || inReceive_ || Holding()) return;
  rxHeldBack_ = false;
  ReceiveChars(ApdComPort1->InputCount());
}

void InstrumentSession::ReceiveChars(int count) {
  inReceive_ = true;
  struct EndReceive {
    bool& flag;
    ~EndReceive() { flag = false; }
  } endReceive{inReceive_};

  std::string reason;
  try {
    for (int i = 0; i < count; ++i) {
      // A purge after a completed frame, made outside a data-available event, takes what was
      // waiting; inside the event the announced bytes stay readable. Either way stop when the
      // port has nothing more for us.
      if (ApdComPort1->InputCount() <= 0) break;
      CollectChar(ApdComPort1->ReadChar());
    }
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = "Unknown error";
  }
  if (!reason.empty()) {
    // The rest of this event's characters are not read. Told once while reading keeps failing.
    Fail(SessionOperation::Receive, kReceiveFailed, reason);
    return;
  }
  Succeed(SessionOperation::Receive);
}

void InstrumentSession::CollectChar(char c) {
  // The carriage return (or the character after an overlong frame) is not part of the frame.
  // RxFrame keeps the frame until the next transmission or a character outside a frame.
  if (!protocol::CollectReplyChar(RxFrame, InFrame, c)) return;
  CheckReply();
  if (ReplyValid) HandleReply();
  ApdComPort1->PurgeInput();
}

void InstrumentSession::CheckReply() {
  ReplyValid = protocol::CheckReply(RxFrame, state_.serial);
  // A valid reply shows the link works: errors below are told afresh from now on.
  if (ReplyValid) Succeed(SessionOperation::Link);
}

void InstrumentSession::HandleReply() {
  lastReply_ = RxFrame;
  Notify({SessionChange::Reply});
  const protocol::AppliedReply applied = protocol::ApplyReply(state_, RxFrame, connected_);
  switch (applied.part) {
    case protocol::StatePart::Identity: Notify({SessionChange::Identity}); break;
    case protocol::StatePart::Status: Notify({SessionChange::Status}); break;
    case protocol::StatePart::Config: Notify({SessionChange::Config}); break;
    case protocol::StatePart::Calibration: Notify({SessionChange::Calibration}); break;
    case protocol::StatePart::Clock: Notify({SessionChange::Clock}); break;
    case protocol::StatePart::Result: Notify({SessionChange::Result, applied.test, applied.half}); break;
    case protocol::StatePart::None: break;
  }
  // The step follows the reply, not the request that was sent.
  const decoders::StepMove& move = applied.move;
  switch (move.kind) {
    case decoders::StepMove::SetStep:
      Step = static_cast<uint16_t>(move.step);
      if (move.setInterval100) Timer1->SetInterval(100);
      if (move.checkConnected) {
        SetConnected(true);
        if (protocol::FinishReadout(state_, QDateTime::currentMSecsSinceEpoch())) NotifyCompleted();
      }
      break;
    case decoders::StepMove::RestartReadout: RestartReadout(); break;
    case decoders::StepMove::Unchanged: break;
  }
}
