// The connection controller: the window's non-visual components, the port list, "connect",
// "refresh", closing, and the tick that drives the request/reply cycle with the instrument.
//
// Everything here runs on the user-interface thread: the tick, the port's data-available event
// and the button handlers never run in parallel, but they nest: the tick lets pending events run
// before it builds its request, so a receive event or a click can run in the middle of a tick.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QShowEvent>
#include <QTimer>
#include <stdexcept>

#include "app/Decoders.h"
#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "app/LocalTime.h"
#include "app/MessageBoxes.h"
#include "app/Protocol.h"
#include "platform/formatting.h"

namespace {

// The failure messages of the controller and the operations they belong to.
const std::string kOpeningFailed = "Problem opening comm port";
const std::string kTransmitFailed = "Problem Comms tx";
const std::string kOpTransmit = "transmit";

// Tick periods in milliseconds: during the read-out, and while connected or waiting to connect.
constexpr int kReadoutInterval = 100;
constexpr int kPollInterval = 1000;
// Ticks of the read-out without a valid reply after which the read-out starts again.
constexpr int kReplyTicks = 10;

}  // namespace

// --- Components and handlers ----------------------------------------------------------------

void TDravikPCMainForm::CreateComponents() {
  ApdComPort1 = new TApdComPort(this);
  ApdComPort1->setObjectName(QStringLiteral("ApdComPort1"));
  ApdComPort1->BeginLoading();
  ApdComPort1->SetBaud(9600);
  ApdComPort1->SetTraceName("TALO.TRC");
  ApdComPort1->SetLogName("TALO.LOG");
  ApdComPort1->SetOnTriggerAvail(TTriggerAvailEvent(this, &TDravikPCMainForm::ApdComPort1TriggerAvail));

  ApdSLController1 = new TApdSLController(this);
  ApdSLController1->setObjectName(QStringLiteral("ApdSLController1"));
  ApdSLController1->BeginLoading();
  ApdSLController1->SetComPort(ApdComPort1);
  ApdSLController1->Lights()->SetTXDLight(LightTX);
  ApdSLController1->Lights()->SetRXDLight(LightRX);

  Timer1 = new TTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->OnTimer = [this] { RunHandler("Timer1Timer", THandlerKind::Repeating, [this] { Timer1Timer(Timer1); }); };

  ReadPortValues = [] { return platform::ReadSerialCommValues(); };
  // Receive events held back while a box was open are taken up as soon as it has closed.
  boxClosedToken_ = TMessageBoxGuard::Instance().AddClosedListener([this] { TakeHeldBackInput(); });
}

void TDravikPCMainForm::DestroyComponents() {
  TMessageBoxGuard::Instance().RemoveClosedListener(boxClosedToken_);
  boxClosedToken_ = 0;
  delete Timer1;
  Timer1 = nullptr;
}

void TDravikPCMainForm::ConnectHandlers() {
  const auto click = [this](QAbstractButton* button, void (TDravikPCMainForm::*handler)(QObject*),
                            const char* name) {
    connect(button, &QAbstractButton::clicked, this, [this, button, handler, name] {
      RunHandler(name, THandlerKind::UserAction, [&] { (this->*handler)(button); });
    });
  };
  click(ConnectBUT, &TDravikPCMainForm::ConnectBUTClick, "ConnectBUTClick");
  click(FinishBUT, &TDravikPCMainForm::FinishBUTClick, "FinishBUTClick");
  click(RefreshBUT, &TDravikPCMainForm::RefreshBUTClick, "RefreshBUTClick");
  click(PrintBUT, &TDravikPCMainForm::PrintBUTClick, "PrintBUTClick");
  click(SetTimBUT, &TDravikPCMainForm::SetTimBUTClick, "SetTimBUTClick");
  click(ConfigBUT, &TDravikPCMainForm::ConfigBUTClick, "ConfigBUTClick");
  click(ClearBUT, &TDravikPCMainForm::ClearBUTClick, "ClearBUTClick");
  // The interlocks run whenever these two boxes change state, whoever changes them.
  connect(Flags12CB, &QCheckBox::toggled, this, [this] {
    RunHandler("Flags12CBClick", THandlerKind::UserAction, [this] { Flags12CBClick(Flags12CB); });
  });
  connect(Flags15CB, &QCheckBox::toggled, this, [this] {
    RunHandler("Flags15CBClick", THandlerKind::UserAction, [this] { Flags15CBClick(Flags15CB); });
  });
}

// --- The window's life ------------------------------------------------------------------------

void TDravikPCMainForm::FormCreate(QObject*) { Step = 0; }

void TDravikPCMainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) WindowActivated();
}

void TDravikPCMainForm::WindowActivated() {
  // A conversion error in the port list recurs at every activation, and closing its box
  // activates the window again: it is shown once until a rebuild succeeds.
  RunHandler("FormActivate", THandlerKind::Repeating, [this] { FormActivate(this); });
}

void TDravikPCMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Some window systems never activate a window (a bare X server, the offscreen platform): the
  // first showing counts as an activation, so the port list is there from the start. Run it
  // from the event loop, not from inside the show.
  if (formActivatedOnce_) return;
  QTimer::singleShot(0, this, [this] {
    if (!formActivatedOnce_) WindowActivated();
  });
}

void TDravikPCMainForm::FormActivate(QObject*) {
  formActivatedOnce_ = true;
  UpdatePortList();
}

void TDravikPCMainForm::closeEvent(QCloseEvent* event) {
  RunHandler("FormClose", THandlerKind::UserAction, [this] { FormClose(this); });
  event->accept();
}

void TDravikPCMainForm::FormClose(QObject*) {
  // A tick that is letting events run when the window closes must not reopen the port.
  closing_ = true;
  ApdComPort1->SetOpen(false);
  QCoreApplication::quit();
}

// --- Port list and connect ----------------------------------------------------------------

void TDravikPCMainForm::UpdatePortList() {
  // This closes the port even while the cycle runs; the cycle goes on, because the tick's next
  // port operation opens it again with the same number.
  ApdComPort1->SetOpen(false);
  ConnectBUT->setEnabled(false);
  // "connect" is enabled again whatever happens below.
  struct EnableConnect {
    QPushButton* button;
    ~EnableConnect() { button->setEnabled(true); }
  } enableConnect{ConnectBUT};

  TPortsList ports = EnumerateComPorts(ReadPortValues ? ReadPortValues() : TSerialCommValues());
  PortNumbers = std::move(ports);
  CommsCB->clear();
  for (int32_t number : PortNumbers) CommsCB->addItem(QStringLiteral("COM %1").arg(number));
  if (CommsCB->count() > 0) CommsCB->setCurrentIndex(0);
}

void TDravikPCMainForm::ConnectBUTClick(QObject*) {
  try {
    const int index = CommsCB->currentIndex();
    if (index < 0 || index >= static_cast<int>(PortNumbers.size())) throw std::out_of_range("no port selected");
    ApdComPort1->SetComNumber(static_cast<uint16_t>(PortNumbers[static_cast<std::size_t>(index)] & 0xFFFF));
    ApdComPort1->SetOpen(true);
    ApdSLController1->SetTracking(true);
    Timer1->SetEnabled(true);
    CommsCB->setEnabled(false);
    ConnectBUT->setEnabled(false);
  } catch (...) {
    // A deliberate click: told every time it fails.
    TMessageBoxGuard::Instance().Inform(kOpeningFailed);
  }
}

void TDravikPCMainForm::RefreshBUTClick(QObject*) { RestartReadout(); }

void TDravikPCMainForm::RestartReadout() {
  ConnectedRB->setChecked(false);
  Timer1->SetInterval(kReadoutInterval);
  Step = 0;
}

// --- The tick -----------------------------------------------------------------------------

void TDravikPCMainForm::Timer1Timer(QObject*) {
  // While a message box is open the cycle holds still; a tick inside a tick does nothing.
  if (TMessageBoxGuard::Instance().BoxOpen() || inTick_ || closing_) return;

  ++TickCount;
  if (!ReplyValid && TickCount < kReplyTicks && Timer1->Interval() < kPollInterval) return;  // waiting
  ConnectStepLAB->setText(QString::number(Step));
  TickCount = 0;
  if (!ReplyValid) {
    // The last request got no valid reply: start the read-out again.
    ConnectedRB->setChecked(false);
    Timer1->SetInterval(kPollInterval);
    Step = 0;
  }
  if (ConnectedRB->isChecked())
    ShowConnectedView();
  else
    ShowDisconnectedView();
  PrepareStepRequest();

  {
    // Received data and clicks may run here, before the frame is built from the command slot.
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

void TDravikPCMainForm::PrepareStepRequest() {
  switch (Step) {
    case 0:
      QueueCommand(protocol::kCmdIdentity);
      SerialEB->setText(QString::fromLatin1(protocol::kIdentityAddress.c_str()));
      Timer1->SetInterval(kReadoutInterval);
      break;
    case 1: QueueCommand(protocol::kCmdStatus); break;
    case 2: QueueCommand(protocol::kCmdConfig); break;
    case 3: QueueCommand(protocol::kCmdCalibration); break;
    case 4: QueueCommand(protocol::kCmdClock); break;
    case 5: QueueCommand(protocol::ResultBlockCommand(0x20)); break;
    case 6: QueueCommand(protocol::ResultBlockCommand(0x28)); break;
    case 7: QueueCommand(protocol::ResultBlockCommand(0x30)); break;
    case 8: QueueCommand(protocol::ResultBlockCommand(0x38)); break;
    case 9: QueueCommand(protocol::ResultBlockCommand(0x40)); break;
    case 10: QueueCommand(protocol::ResultBlockCommand(0x48)); break;
    default:
      // Connected: a queued command goes out, else the status poll.
      ConnectedRB->setChecked(true);
      Timer1->SetInterval(kPollInterval);
      break;
  }
}

void TDravikPCMainForm::QueueCommand(const std::string& body) {
  // One slot: a command queued before the previous one went out replaces it.
  PendingCommand = body;
  CommandPending = true;
}

void TDravikPCMainForm::TransmitRequest() {
  const std::string address = SerialEB->text().left(4).toLatin1().toStdString();
  const std::string frame = protocol::BuildRequest(address, CommandPending ? PendingCommand : protocol::kCmdStatus);
  CommandPending = false;

  TMessageBoxGuard& boxes = TMessageBoxGuard::Instance();
  try {
    ApdComPort1->PurgeInput();
    OutLabel->setText(QString::fromLatin1(frame.data(), static_cast<int>(frame.size()) - 1));
    InLabel->setText(QString());
    RxFrame.clear();
    ReplyValid = false;
    InFrame = false;
    ApdComPort1->SendText(frame);
  } catch (...) {
    // A request that did not go out gets no reply: the next processed tick starts the read-out
    // again and shows the disconnected view, rather than going on showing an instrument that
    // may be gone. The box is shown once while sending keeps failing (an unplugged adapter
    // fails every reopen).
    ReplyValid = false;
    boxes.InformOnce(kOpTransmit, kTransmitFailed);
    return;
  }
  boxes.Succeeded(kOpTransmit);
}

// --- The two views ------------------------------------------------------------------------

namespace {

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

}  // namespace

void TDravikPCMainForm::ShowConnectedView() {
  const std::tm now = LocalNow();
  PCtimeLAB->setText(QString::fromStdString(platform::FormatDateTime("hh:mm:ss", now)));
  PCdateLAB->setText(QString::fromStdString(platform::FormatDateTime("dd-mmm-yy", now)));
  CollectConfigFlags();
  SetTimBUT->setEnabled(true);
  for (QWidget* group : {ConfigGB, CalibGB, ResultsGB, ConnectedGB, Test1GB}) group->setVisible(true);
  for (QWidget* plusOnly : std::initializer_list<QWidget*>{Test2GB, Test3GB, MainCB, T1SpeedEB, T1StopEB, T1DistEB})
    plusOnly->setVisible(PlusModel);
  Flags12CB->setVisible(decoders::Flags12Visible(PlusModel, VersionChar));
  Flags14CB->setVisible(PlusModel);
  Flags17CB->setVisible(PlusModel);
  NotesGB->setVisible(true);
  Test1GB->setTitle(MainCB->isChecked() ? MainCB->text() : QStringLiteral("Test 1"));
  if (!PlusModel) Test1GB->setTitle(QString());
  Test2GB->setTitle(SecondaryCB->isChecked() ? SecondaryCB->text() : QStringLiteral("Test 2"));
  Test3GB->setTitle(ParkingCB->isChecked() ? ParkingCB->text() : QStringLiteral("Test 3"));
  TypeLAB->setText(PlusModel ? QStringLiteral("dravik+") : QStringLiteral("dravik"));
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
