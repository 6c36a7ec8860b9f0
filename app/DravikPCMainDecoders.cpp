// The reply decoders as the window applies them: each takes the valid frame in RxFrame, lets
// the pure decoders (Decoders.h) compute the values and texts, and copies them into the fields
// and controls. Texts from the frame reach the controls as Latin-1. The read-out step that each
// reply sets is applied by HandleReply.
#include <QTextBlock>
#include <QTextCursor>

#include "app/Decoders.h"
#include "app/DravikPCMain.h"

namespace {

QString Latin1(const std::string& bytes) { return QString::fromLatin1(bytes.data(), static_cast<int>(bytes.size())); }

// Sets a box's state only when it differs, so a toggled handler runs only for a real change.
void SetChecked(QCheckBox* box, bool checked) {
  if (box->isChecked() != checked) box->setChecked(checked);
}

}  // namespace

void TDravikPCMainForm::DecodeSerialReply() {
  // From now on the serial number is also the address of every request.
  SerialEB->setText(Latin1(decoders::DecodeSerialReply(RxFrame)));
}

void TDravikPCMainForm::DecodeStatusReply() {
  const decoders::StatusView status = decoders::DecodeStatusReply(RxFrame);
  TempRaw = status.tempRaw;
  BattRaw = status.battRaw;
  TempEDIT->setText(Latin1(status.tempText));
  BattEDIT->setText(Latin1(status.battText));
}

void TDravikPCMainForm::DecodeConfigReply() {
  const protocol::ConfigBlock block = decoders::DecodeConfigReply(RxFrame);
  SetupByte1 = block.setupByte1;
  SetupByte2 = block.setupByte2;
  SetupByte3 = block.setupByte3;
  SetupByte4 = block.setupByte4;
  FeatureWord = block.featureWord;
  FlagsWord = block.flagsWord;
  ShowConfigFlags();

  const bool pull = Flags17CB->isChecked();
  for (QLineEdit* box : {T1PullEB, T1PullGEB, T2PullEB, T2PullGEB, T3PullEB, T3PullGEB}) box->setVisible(pull);

  // Only the first line of the notes follows the trigger setting; the examiner's other lines
  // stay as they are.
  const QString firstLine =
      Flags12CB->isChecked() ? QStringLiteral("3%g start trigger") : QStringLiteral("10%g start trigger");
  QTextCursor cursor(Memo1->document()->firstBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(firstLine);
}

void TDravikPCMainForm::ShowConfigFlags() {
  // In this order, as the flags word gives them. Setting "3%g trigger" or "%g readings" runs
  // its interlock on the way; the final states below are the same either way.
  SetChecked(Flags12CB, (FlagsWord & decoders::kFlag3gTrigger) != 0);
  SetChecked(Flags13CB, (FlagsWord & decoders::kFlagLedIsPeak) != 0);
  SetChecked(Flags14CB, (FlagsWord & decoders::kFlagMetric) != 0);
  SetChecked(Flags15CB, (FlagsWord & decoders::kFlagPercentG) != 0);
  SetChecked(Flags17CB, (FlagsWord & decoders::kFlagMeasurePull) != 0);

  const decoders::ConfigView view = decoders::ShowConfigFlags(FlagsWord, FeatureWord);
  SetChecked(Flags12CB, view.boxes.flags12);
  SetChecked(Flags13CB, view.boxes.flags13);
  SetChecked(Flags14CB, view.boxes.flags14);  // m/s² readings always come with metric units
  SetChecked(Flags15CB, view.boxes.flags15);
  SetChecked(Flags17CB, view.boxes.flags17);  // bit 15 decides, even with the 3 %g trigger set
  Flags14CB->setEnabled(view.boxes.flags14Enabled);
  Flags17CB->setEnabled(view.boxes.flags17Enabled);
  PlusModel = view.plusModel;
}

void TDravikPCMainForm::DecodeCalibrationReply() {
  const decoders::CalibrationView calibration = decoders::DecodeCalibrationReply(RxFrame);
  VersionChar = calibration.versionChar;
  VersionLAB->setText(Latin1(calibration.versionText));
  CalibLAB->setText(Latin1(calibration.calibText));
  ByWhoLAB->setText(Latin1(calibration.byWhoText));
}

void TDravikPCMainForm::DecodeClockReply() { DVtimeLAB->setText(Latin1(decoders::DecodeClockReply(RxFrame))); }

void TDravikPCMainForm::DecodeResultBlock() {
  // The units are the check boxes as they stand now; the read-out set them from the
  // instrument's configuration before it asked for the results.
  decoders::ResultUnits units;
  units.percentG = Flags15CB->isChecked();
  units.metric = Flags14CB->isChecked();
  units.measurePull = Flags17CB->isChecked();
  const decoders::ResultBlockView block = decoders::DecodeResultBlock(RxFrame, units);

  struct Column {
    TLabel* date;
    QLineEdit *peak, *mean, *speed, *stop, *dist, *pull, *pullG;
  };
  const Column columns[] = {
      {T1DateLAB, T1PeakEB, T1MeanEB, T1SpeedEB, T1StopEB, T1DistEB, T1PullEB, T1PullGEB},
      {T2DateLAB, T2PeakEB, T2MeanEB, T2SpeedEB, T2StopEB, T2DistEB, T2PullEB, T2PullGEB},
      {T3DateLAB, T3PeakEB, T3MeanEB, T3SpeedEB, T3StopEB, T3DistEB, T3PullEB, T3PullGEB},
  };
  if (block.test < 1 || block.test > 3) return;  // not a block of ours: nothing changes
  const Column& c = columns[block.test - 1];
  if (block.half == decoders::BlockHalf::First) {
    c.peak->setText(Latin1(block.peak));
    c.mean->setText(Latin1(block.mean));
    c.pullG->setText(Latin1(block.sideways));
    c.pull->setText(Latin1(block.angle));
    c.stop->setText(Latin1(block.stop));
  } else if (block.half == decoders::BlockHalf::Second) {
    c.speed->setText(Latin1(block.speed));
    c.dist->setText(Latin1(block.distance));
    c.date->setText(Latin1(block.date));
  }
}
