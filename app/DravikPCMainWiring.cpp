// The window's wiring: its non-visual components (the instrument session and the light
// controller), its handlers, the port list, "connect", "refresh" and closing.
//
// Everything here runs on the user-interface thread. The session's tick and the port's
// data-available event run there too and nest with the handlers: the tick lets pending events
// run before it builds its request, so a click can run in the middle of a tick.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QShowEvent>
#include <QTimer>

#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "app/MessageBoxes.h"

// --- Components and handlers ----------------------------------------------------------------

void TDravikPCMainForm::CreateComponents() {
  Session = new InstrumentSession(this);
  Session->setObjectName(QStringLiteral("Session"));
  Session->AddListener(this);
  // While a box is open the cycle holds still; what arrived meanwhile is read once it closed.
  Session->HoldBack = [] { return TMessageBoxGuard::Instance().BoxOpen(); };
  boxClosedToken_ = TMessageBoxGuard::Instance().AddClosedListener([this] { Session->TakeHeldBackInput(); });
  archiveLink_ = TArchiveLink::ForWindow(*this);

  ApdSLController1 = new TApdSLController(this);
  ApdSLController1->setObjectName(QStringLiteral("ApdSLController1"));
  ApdSLController1->BeginLoading();
  ApdSLController1->SetComPort(Session->ApdComPort1);
  ApdSLController1->Lights()->SetTXDLight(LightTX);
  ApdSLController1->Lights()->SetRXDLight(LightRX);

  ReadPortValues = [] { return platform::ReadSerialCommValues(); };
}

void TDravikPCMainForm::DestroyComponents() {
  TMessageBoxGuard::Instance().RemoveClosedListener(boxClosedToken_);
  boxClosedToken_ = 0;
  // The light controller lets go of the port before the session frees it.
  TApdComponentLink::FreeComponents(this);
  ApdSLController1 = nullptr;
  archiveLink_.reset();  // commits what is still queued
  Session->RemoveListener(this);
  delete Session;
  Session = nullptr;
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

void TDravikPCMainForm::FormCreate(QObject*) { Session->Step = 0; }

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
  KeepExaminerTexts();
  Session->Close();
  QCoreApplication::quit();
}

// --- Port list and connect ----------------------------------------------------------------

void TDravikPCMainForm::UpdatePortList() {
  // This closes the port even while the cycle runs; the cycle goes on, because the tick's next
  // port operation opens it again with the same number.
  Session->ClosePort();
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
  const int index = CommsCB->currentIndex();
  if (index < 0 || index >= static_cast<int>(PortNumbers.size())) {
    // A deliberate click: told every time it fails.
    TMessageBoxGuard::Instance().Inform(kOpeningFailed);
    return;
  }
  const auto number = static_cast<uint16_t>(PortNumbers[static_cast<std::size_t>(index)] & 0xFFFF);
  // The lights follow the port from its opening; a failure is told by the session.
  if (!Session->Connect(number, [this] { ApdSLController1->SetTracking(true); })) return;
  CommsCB->setEnabled(false);
  ConnectBUT->setEnabled(false);
}

void TDravikPCMainForm::RefreshBUTClick(QObject*) { Session->Refresh(); }
