// The controller's receive path: the port's data-available event collects characters into reply
// frames, checks each completed frame and hands a valid one to the decoder of its type. Frames
// are bytes (std::string) from the port to the checks and decoders; only the labels see them as
// text, converted as Latin-1.
#include "app/Decoders.h"
#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "app/MessageBoxes.h"
#include "app/Protocol.h"

namespace {

const std::string kReceiveFailed = "Problem Comms rx";
const std::string kOpReceive = "receive";

}  // namespace

void TDravikPCMainForm::ApdComPort1TriggerAvail(QObject*, uint16_t Count) {
  // While a message box is open the received bytes stay in the port (nothing is read, so
  // nothing is lost) and are taken as soon as the box has closed. The same holds for an event
  // that arrives while the receive path is already reading: it cannot interleave with it.
  if (TMessageBoxGuard::Instance().BoxOpen() || inReceive_) {
    rxHeldBack_ = true;
    return;
  }
  // The event announces every byte waiting, those held back before included.
  rxHeldBack_ = false;
  ReceiveChars(Count);
}

void TDravikPCMainForm::TakeHeldBackInput() {
  if (!rxHeldBack_ || inReceive_ || TMessageBoxGuard::Instance().BoxOpen()) return;
  rxHeldBack_ = false;
  ReceiveChars(ApdComPort1->InputCount());
}

void TDravikPCMainForm::ReceiveChars(int count) {
  inReceive_ = true;
  struct EndReceive {
    bool& flag;
    ~EndReceive() { flag = false; }
  } endReceive{inReceive_};

  TMessageBoxGuard& boxes = TMessageBoxGuard::Instance();
  try {
    for (int i = 0; i < count; ++i) {
      // A purge after a completed frame, made outside a data-available event, takes what was
      // waiting; inside the event the announced bytes stay readable. Either way stop when the
      // port has nothing more for us.
      if (ApdComPort1->InputCount() <= 0) break;
      CollectChar(ApdComPort1->ReadChar());
    }
  } catch (...) {
    // The rest of this event's characters are not read. Shown once while reading keeps failing:
    // the box's own event loop lets the next data-available event in.
    boxes.InformOnce(kOpReceive, kReceiveFailed);
    return;
  }
  boxes.Succeeded(kOpReceive);
}

void TDravikPCMainForm::CollectChar(char c) {
  if (c == ':') InFrame = true;
  const bool complete = (c == protocol::kCarriageReturn && InFrame) || RxFrame.size() > protocol::kMaxFrameLength;
  if (complete) {
    // The carriage return (or the character after an overlong frame) is not part of the frame.
    // RxFrame keeps the frame until the next transmission or a character outside a frame.
    CheckReply();
    if (ReplyValid) HandleReply();
    ApdComPort1->PurgeInput();
    InFrame = false;
  } else if (InFrame) {
    RxFrame += c;
  } else {
    RxFrame.clear();  // characters outside a frame are dropped
  }
}

void TDravikPCMainForm::CheckReply() {
  ReplyValid = protocol::CheckReply(RxFrame, SerialEB->text().toLatin1().toStdString());
  // A valid reply shows the link works: serial-layer errors are reported afresh from now on.
  if (ReplyValid) TMessageBoxGuard::Instance().Succeeded(kSerialLayerOperation);
}

void TDravikPCMainForm::HandleReply() {
  InLabel->setText(QString::fromLatin1(RxFrame.data(), static_cast<int>(RxFrame.size())));
  switch (protocol::ReplyType(RxFrame)) {
    case '0': DecodeStatusReply(); break;
    case '1': DecodeConfigReply(); break;
    case '6': DecodeCalibrationReply(); break;
    case '8': DecodeResultBlock(); break;
    case 'S': DecodeClockReply(); break;
    case 'Q': DecodeSerialReply(); break;
    default: break;  // '9' and 'T' carry nothing to show; other types are not ours
  }
  // The step follows the reply, not the request that was sent.
  const decoders::StepMove move = decoders::StepAfterReply(RxFrame, ConnectedRB->isChecked());
  switch (move.kind) {
    case decoders::StepMove::SetStep:
      Step = static_cast<uint16_t>(move.step);
      if (move.setInterval100) Timer1->SetInterval(100);
      if (move.checkConnected) ConnectedRB->setChecked(true);
      break;
    case decoders::StepMove::RestartReadout:
      RestartReadout();
      break;
    case decoders::StepMove::Unchanged:
      break;
  }
}
