// The window draws the session: each change the session reports is copied from its state into
// the controls that show it, each processed tick shows the connected or the disconnected view,
// and the session's failures become the window's message boxes. Texts from the instrument reach
// the controls as Latin-1.
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>

#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "app/MessageBoxes.h"
#include "platform/formatting.h"
#include "session/LocalTime.h"

namespace {

QString Latin1(const std::string& bytes) { return QString::fromLatin1(bytes.data(), static_cast<int>(bytes.size())); }

// Sets a box's state only when it differs, so a toggled handler runs only for a real change.
void SetChecked(QCheckBox* box, bool checked) {
  if (box->isChecked() != checked) box->setChecked(checked);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

}  // namespace

// --- What the session tells the window --------------------------------------------------------

void TDravikPCMainForm::SessionChanged(const SessionChange& change) {
  const protocol::InstrumentState& s = Session->State();
  switch (change.kind) {
    case SessionChange::Step: ConnectStepLAB->setText(QString::number(Session->Step)); break;
    case SessionChange::Request:
      OutLabel->setText(Latin1(Session->LastRequest()));
      InLabel->setText(QString());
      break;
    case SessionChange::Reply: InLabel->setText(Latin1(Session->LastReply())); break;
    case SessionChange::Connection: ConnectedRB->setChecked(Session->Connected()); break;
    case SessionChange::View:
      if (Session->Connected())
        ShowConnectedView();
      else
        ShowDisconnectedView();
      break;
    case SessionChange::Identity: SerialEB->setText(Latin1(s.serial)); break;
    case SessionChange::Status:
      TempEDIT->setText(Latin1(s.tempText));
      BattEDIT->setText(Latin1(s.battText));
      break;
    case SessionChange::Config: ShowConfig(); break;
    case SessionChange::Calibration:
      VersionLAB->setText(Latin1(s.calibration.versionText));
      CalibLAB->setText(Latin1(s.calibration.calibText));
      ByWhoLAB->setText(Latin1(s.calibration.byWhoText));
      break;
    case SessionChange::Clock: DVtimeLAB->setText(Latin1(s.clockText)); break;
    case SessionChange::Result: ShowResult(change.test, change.half); break;
  }
}

void TDravikPCMainForm::OperationFailed(const SessionFailure& failure) {
  TMessageBoxGuard& boxes = TMessageBoxGuard::Instance();
  if (IsRepeating(failure.operation))
    boxes.InformOnce(OperationName(failure.operation), failure.message);
  else if (failure.operation == SessionOperation::Erase && !failure.reason.empty())
    boxes.Inform(failure.message + "\n" + failure.reason);  // why the results could not be kept
  else
    boxes.Inform(failure.message);
}

void TDravikPCMainForm::OperationSucceeded(SessionOperation operation) {
  // A valid reply shows the link works: serial-layer errors are reported afresh from now on.
  TMessageBoxGuard::Instance().Succeeded(operation == SessionOperation::Link ? kSerialLayerOperation
                                                                             : OperationName(operation));
}

// --- The state into the controls --------------------------------------------------------------

void TDravikPCMainForm::ShowConfig() {
  ShowConfigFlags();
  const bool pull = Session->State().configView.pullFieldsVisible;  // as "Measure Pull" now shows
  for (QLineEdit* box : {T1PullEB, T1PullGEB, T2PullEB, T2PullGEB, T3PullEB, T3PullGEB}) box->setVisible(pull);

  // Only the first line of the notes follows the trigger setting; the examiner's other lines
  // stay as they are.
  QTextCursor cursor(Memo1->document()->firstBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(Latin1(Session->State().configView.notesFirstLine));
}

void TDravikPCMainForm::ShowConfigFlags() {
  // In this order, as the flags word gives them. Setting "3%g trigger" or "%g readings" runs
  // its interlock on the way; the final states below are the same either way.
  const uint16_t flags = Session->State().config.flagsWord;
  SetChecked(Flags12CB, (flags & decoders::kFlag3gTrigger) != 0);
  SetChecked(Flags13CB, (flags & decoders::kFlagLedIsPeak) != 0);
  SetChecked(Flags14CB, (flags & decoders::kFlagMetric) != 0);
  SetChecked(Flags15CB, (flags & decoders::kFlagPercentG) != 0);
  SetChecked(Flags17CB, (flags & decoders::kFlagMeasurePull) != 0);

  const decoders::FlagBoxes& boxes = Session->State().configView.boxes;
  SetChecked(Flags12CB, boxes.flags12);
  SetChecked(Flags13CB, boxes.flags13);
  SetChecked(Flags14CB, boxes.flags14);  // m/s² readings always come with metric units
  SetChecked(Flags15CB, boxes.flags15);
  SetChecked(Flags17CB, boxes.flags17);  // bit 15 decides, even with the 3 %g trigger set
  Flags14CB->setEnabled(boxes.flags14Enabled);
  Flags17CB->setEnabled(boxes.flags17Enabled);
}

void TDravikPCMainForm::ShowResult(int test, protocol::BlockHalf half) {
  struct Column {
    TLabel* date;
    QLineEdit *peak, *mean, *speed, *stop, *dist, *pull, *pullG;
  };
  const Column columns[] = {
      {T1DateLAB, T1PeakEB, T1MeanEB, T1SpeedEB, T1StopEB, T1DistEB, T1PullEB, T1PullGEB},
      {T2DateLAB, T2PeakEB, T2MeanEB, T2SpeedEB, T2StopEB, T2DistEB, T2PullEB, T2PullGEB},
      {T3DateLAB, T3PeakEB, T3MeanEB, T3SpeedEB, T3StopEB, T3DistEB, T3PullEB, T3PullGEB},
  };
  if (test < 1 || test > 3) return;
  const Column& c = columns[test - 1];
  const protocol::TestState& t = Session->State().tests[static_cast<std::size_t>(test - 1)];
  if (half == protocol::BlockHalf::First) {
    c.peak->setText(Latin1(t.peak));
    c.mean->setText(Latin1(t.mean));
    c.pullG->setText(Latin1(t.sideways));
    c.pull->setText(Latin1(t.angle));
    c.stop->setText(Latin1(t.stop));
  } else if (half == protocol::BlockHalf::Second) {
    c.speed->setText(Latin1(t.speed));
    c.dist->setText(Latin1(t.distance));
    c.date->setText(Latin1(t.date));
  }
}

// --- The two views ------------------------------------------------------------------------

void TDravikPCMainForm::ShowConnectedView() {
  const std::tm now = LocalNow();
  PCtimeLAB->setText(QString::fromStdString(platform::FormatDateTime("hh:mm:ss", now)));
  PCdateLAB->setText(QString::fromStdString(platform::FormatDateTime("dd-mmm-yy", now)));
  CollectConfigFlags();
  SetTimBUT->setEnabled(true);
  const bool plus = PlusModel();
  for (QWidget* group : {ConfigGB, CalibGB, ResultsGB, ConnectedGB, Test1GB}) group->setVisible(true);
  for (QWidget* plusOnly : std::initializer_list<QWidget*>{Test2GB, Test3GB, MainCB, T1SpeedEB, T1StopEB, T1DistEB})
    plusOnly->setVisible(plus);
  Flags12CB->setVisible(decoders::Flags12Visible(plus, Session->State().calibration.versionChar));
  Flags14CB->setVisible(plus);
  Flags17CB->setVisible(plus);
  NotesGB->setVisible(true);
  Test1GB->setTitle(MainCB->isChecked() ? MainCB->text() : QStringLiteral("Test 1"));
  if (!plus) Test1GB->setTitle(QString());
  Test2GB->setTitle(SecondaryCB->isChecked() ? SecondaryCB->text() : QStringLiteral("Test 2"));
  Test3GB->setTitle(ParkingCB->isChecked() ? ParkingCB->text() : QStringLiteral("Test 3"));
  TypeLAB->setText(plus ? QStringLiteral("dravik+") : QStringLiteral("dravik"));
  const QColor red(255, 0, 0);
  const QColor black(0, 0, 0);
  SetTextColour(PeakLAB, Flags13CB->isChecked() ? red : black);
  SetTextColour(MeanLAB, Flags13CB->isChecked() ? black : red);
}

void TDravikPCMainForm::ShowDisconnectedView() {
  SetTimBUT->setEnabled(false);
  for (QWidget* group : {ConfigGB, CalibGB, ConnectedGB, ResultsGB, Test1GB, Test2GB, Test3GB, NotesGB})
    group->setVisible(false);
}
