// TDravikPCMainForm, the program's one window: its controls (named as the program refers to
// them), its non-visual components and its event handlers. The conversation with the
// instrument is the InstrumentSession's (session/); the window draws the session's state into
// its controls, hands the examiner's actions to it, and shows its failures in message boxes.
// The class is spread over several files:
//   DravikPCMain.cpp         construction, destruction, fonts, "finish"
//   DravikPCMainLayout.cpp   the controls with their places, texts, fonts and initial states
//   DravikPCMainReport.cpp   "print": the printer dialog and the report's texts
//   DravikPCMainWiring.cpp   components, handlers, port list, "connect", "refresh", closing
//   DravikPCMainView.cpp     the session's state into the controls, the two views, its boxes
//   DravikPCMainActions.cpp  the configuration boxes, "APPLY", "set time", "CLEAR"
//   ArchiveLink.cpp          the results archive: read-outs kept, texts attached, erases guarded
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ArchiveLink.h"
#include "app/DravikPCMainControls.h"
#include "report/ReportLayout.h"
#include "serial/AdStatLt.h"
#include "serial/AdStatLtController.h"
#include "session/InstrumentSession.h"
#include "session/PortComms.h"

class QPrintDialog;
class QPrinter;

class TDravikPCMainForm : public QWidget, private SessionListener {
  Q_OBJECT

public:
  explicit TDravikPCMainForm(QWidget* parent = nullptr);
  // Frees the components in reverse order of creation, then the controls.
  ~TDravikPCMainForm() override;

  // ---- Controls placed directly on the window ----
  QGroupBox* ConfigGB = nullptr;
  TLabel* ConnectStepLAB = nullptr;   // diagnostic: the controller's step; never shown
  TLabel* PCtimeLAB = nullptr;
  TLabel* PCdateLAB = nullptr;
  TLabel* CommsLabel = nullptr;
  QComboBox* CommsCB = nullptr;
  TLabel* Label2 = nullptr;           // "RX"
  TApdStatusLight* LightRX = nullptr;
  TLabel* Label1 = nullptr;           // "TX"
  TApdStatusLight* LightTX = nullptr;
  QPushButton* ConnectBUT = nullptr;
  QPushButton* FinishBUT = nullptr;
  QGroupBox* CalibGB = nullptr;
  TLabel* OutLabel = nullptr;         // diagnostic: the last request; never shown
  TLabel* InLabel = nullptr;          // diagnostic: the last reply; never shown
  QGroupBox* ConnectedGB = nullptr;
  QGroupBox* ResultsGB = nullptr;
  QGroupBox* Test1GB = nullptr;
  QGroupBox* Test2GB = nullptr;
  QGroupBox* Test3GB = nullptr;
  QGroupBox* NotesGB = nullptr;

  // ---- ConfigGB: the instrument's configuration flags ----
  QCheckBox* Flags12CB = nullptr;     // "3%g trigger"
  QCheckBox* Flags13CB = nullptr;     // "LED is peak"
  QCheckBox* Flags14CB = nullptr;     // "Metric Units"
  QCheckBox* Flags15CB = nullptr;     // "%g readings"
  QCheckBox* Flags17CB = nullptr;     // "Measure Pull"
  QPushButton* ConfigBUT = nullptr;   // "APPLY"

  // ---- CalibGB: identity, calibration and status ----
  TLabel* Label3 = nullptr;
  QLineEdit* SerialEB = nullptr;
  TLabel* TypeLAB = nullptr;
  TLabel* CalibLAB = nullptr;
  TLabel* ByWhoLAB = nullptr;
  TLabel* VersionLAB = nullptr;
  TLabel* Label5 = nullptr;
  QLineEdit* BattEDIT = nullptr;
  TLabel* Label4 = nullptr;
  QLineEdit* TempEDIT = nullptr;

  // ---- ResultsGB: row labels of the results grid ----
  TLabel* PeakLAB = nullptr;
  TLabel* MeanLAB = nullptr;
  TLabel* SpeedLAB = nullptr;
  TLabel* StopLAB = nullptr;
  TLabel* DistanceLAB = nullptr;
  TLabel* PullLAB = nullptr;
  QPushButton* ClearBUT = nullptr;

  // ---- Test1GB, Test2GB, Test3GB: the three stored tests ----
  TLabel* T1DateLAB = nullptr;
  QLineEdit* T1PeakEB = nullptr;
  QLineEdit* T1MeanEB = nullptr;
  QLineEdit* T1SpeedEB = nullptr;
  QLineEdit* T1StopEB = nullptr;
  QLineEdit* T1DistEB = nullptr;
  QLineEdit* T1PullEB = nullptr;
  QLineEdit* T1PullGEB = nullptr;
  QCheckBox* MainCB = nullptr;
  TLabel* T2DateLAB = nullptr;
  QLineEdit* T2PeakEB = nullptr;
  QLineEdit* T2MeanEB = nullptr;
  QLineEdit* T2SpeedEB = nullptr;
  QLineEdit* T2StopEB = nullptr;
  QLineEdit* T2DistEB = nullptr;
  QLineEdit* T2PullEB = nullptr;
  QLineEdit* T2PullGEB = nullptr;
  QCheckBox* SecondaryCB = nullptr;
  TLabel* T3DateLAB = nullptr;
  QLineEdit* T3PeakEB = nullptr;
  QLineEdit* T3MeanEB = nullptr;
  QLineEdit* T3SpeedEB = nullptr;
  QLineEdit* T3StopEB = nullptr;
  QLineEdit* T3DistEB = nullptr;
  QLineEdit* T3PullEB = nullptr;
  QLineEdit* T3PullGEB = nullptr;
  QCheckBox* ParkingCB = nullptr;

  // ---- NotesGB: the examiner's entries ----
  TLabel* VehicleLAB = nullptr;
  QLineEdit* VehicleEB = nullptr;
  TLabel* ExaminerLAB = nullptr;
  QLineEdit* ExaminerEB = nullptr;
  QPlainTextEdit* Memo1 = nullptr;

  // ---- ConnectedGB ----
  TRadioButton* ConnectedRB = nullptr;  // checked once a full read of the instrument is complete
  TLabel* DVtimeLAB = nullptr;
  QPushButton* RefreshBUT = nullptr;
  QPushButton* SetTimBUT = nullptr;
  QPushButton* PrintBUT = nullptr;

  // ---- Non-visual components ----
  // The session (with its port component ApdComPort1 and its tick Timer1) is created first,
  // the light controller after it; they are freed in the reverse order.
  InstrumentSession* Session = nullptr;          // the conversation with the instrument
  TApdSLController* ApdSLController1 = nullptr;  // drives LightRX and LightTX from the session's port
  QPrintDialog* PrintDialog1 = nullptr;          // created at the first "print"

  // ---- Fields of the window ----
  TPortsList PortNumbers;        // port number of each entry of CommsCB, same order
  uint16_t NewFlagsWord = 0;     // configuration flags as edited in the check boxes
  // The connected instrument is the plus model ("dravik+"): full report, more controls.
  bool PlusModel() const { return Session->State().plusModel(); }

  // Where UpdatePortList reads the system's port list (tests put their own list here).
  std::function<TSerialCommValues()> ReadPortValues;

  // ---- Event handlers ----
  void FinishBUTClick(QObject* Sender);  // closes the window, which ends the program
  void PrintBUTClick(QObject* Sender);   // printer dialog, then the report for the chosen printer
  void FormCreate(QObject* Sender);
  void FormActivate(QObject* Sender);    // every activation: rebuilds the port list
  void FormClose(QObject* Sender);       // closes the port and ends the application
  void ConnectBUTClick(QObject* Sender);
  void RefreshBUTClick(QObject* Sender);
  void Flags12CBClick(QObject* Sender);  // "3%g trigger" changed: interlock with "Measure Pull"
  void Flags15CBClick(QObject* Sender);  // "%g readings" changed: interlock with "Metric Units"
  void ConfigBUTClick(QObject* Sender);  // "APPLY"
  void SetTimBUTClick(QObject* Sender);  // "set time"
  void ClearBUTClick(QObject* Sender);   // "CLEAR"

  // The window system activated the window (or showed it for the first time): FormActivate, with
  // an escaping error shown as the application's error report.
  void WindowActivated();

  // ---- The port list and the two views ----
  void UpdatePortList();
  void ShowConnectedView();
  void ShowDisconnectedView();
  // ---- The session's state into the controls ----
  void ShowConfigFlags();  // the check boxes from the flags word as read
  void ShowConfig();       // the boxes, the pull fields and the first line of the notes
  void ShowResult(int test, protocol::BlockHalf half);
  void CollectConfigFlags();  // NewFlagsWord from the check boxes; enables "APPLY"

  // ---- The report ----
  // Prints the report for the current texts on `printer`, without a dialog. Printing-layer
  // errors are thrown as platform::Exception.
  void PrintReportTo(QPrinter& printer);
  // The texts the report prints, read from the controls as they are shown now.
  ReportTexts CollectReportTexts() const;
  // Memo1's lines as the box lays them out, wrapped lines counted separately.
  QStringList Memo1Lines() const;

  // ---- The results archive ----
  // Attaches the vehicle, examiner, notes and brake ticks to the read-out shown, in the archive
  // (at "print" and at closing); nothing when the archive is off.
  void KeepExaminerTexts();

protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateControls();
  void SetUpWindow();
  void CreateWindowControls();
  void CreateConfigControls();
  void CreateCalibControls();
  void CreateResultControls();
  void CreateNotesControls();
  void CreateConnectedControls();
  void SetTabOrderAndToolTips();
  void CreateComponents();
  void ConnectHandlers();
  void DestroyComponents();

  // SessionListener: what the session tells the window.
  void SessionChanged(const SessionChange& change) override;
  void OperationFailed(const SessionFailure& failure) override;
  void OperationSucceeded(SessionOperation operation) override;

  bool formActivatedOnce_ = false;  // the port list has been filled at least once
  int boxClosedToken_ = 0;          // our listener at TMessageBoxGuard

  std::unique_ptr<QPrinter> printer_;  // the printer and settings chosen in PrintDialog1
  // The results archive; null when DRAVIK_ARCHIVE is "off". Made after the session, freed before it.
  std::unique_ptr<TArchiveLink> archiveLink_;
};
