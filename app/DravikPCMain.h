// TDravikPCMainForm, the program's one window: its controls (named as the program refers to
// them), its non-visual components, the fields it keeps and its event handlers. The class is spread
// over several files:
//   DravikPCMain.cpp        construction, destruction, fonts, "finish"
//   DravikPCMainLayout.cpp  the controls with their places, texts, fonts and initial states
//   DravikPCMainReport.cpp  "print": the printer dialog and the report's texts
//   DravikPCMainController.cpp         components, port list, connect, the tick, the two views
//   DravikPCMainControllerReceive.cpp  collecting, checking and dispatching reply frames
//   DravikPCMainDecoders.cpp           replies into fields and controls
//   DravikPCMainActions.cpp            the configuration boxes, "APPLY", "set time", "CLEAR"
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

#include "app/DravikPCMainControls.h"
#include "app/PortComms.h"
#include "app/Protocol.h"
#include "app/ReportLayout.h"
#include "app/Timer.h"
#include "serial/AdPort.h"
#include "serial/AdStatLt.h"
#include "serial/AdStatLtController.h"

class QPrintDialog;
class QPrinter;

class TDravikPCMainForm : public QWidget {
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
  // Created after the lights, in this order, and freed in the reverse order.
  TApdComPort* ApdComPort1 = nullptr;            // the instrument's port, 9600 baud
  TApdSLController* ApdSLController1 = nullptr;  // drives LightRX and LightTX from ApdComPort1
  TTimer* Timer1 = nullptr;                      // the controller's tick; off until "connect"
  QPrintDialog* PrintDialog1 = nullptr;          // created at the first "print"

  // ---- Fields of the connection controller ----
  TPortsList PortNumbers;       // port number of each entry of CommsCB, same order
  std::string RxFrame;          // the reply being collected, from its ':' (bytes, not text)
  bool InFrame = false;         // a ':' has come since the last transmission or completed frame
  bool ReplyValid = false;      // the last completed frame passed the checks; cleared on sending
  std::string PendingCommand;   // command body for the next transmission
  bool CommandPending = false;  // PendingCommand is to be sent (else the status poll "0")
  int32_t TickCount = 0;        // ticks since the last processed tick
  uint16_t Step = 0;            // position in the read-out sequence, 0 to 11

  // ---- Fields of the decoded instrument (zero or unset until read) ----
  char VersionChar = 0;                  // software version ('6' reply)
  int32_t TempRaw = 0;                   // temperature byte of the last status reply
  int32_t BattRaw = 0;                   // battery byte of the last status reply
  std::optional<uint8_t> SetupByte1;     // the configuration block's setup bytes, carried
  std::optional<uint8_t> SetupByte2;     // unchanged into the "9" command (20, 4, 100, 25
  std::optional<uint8_t> SetupByte3;     // while unset)
  std::optional<uint8_t> SetupByte4;
  uint16_t FeatureWord = 0;              // bit 5: plus model; written back unchanged
  uint16_t FlagsWord = 0;                // configuration flags as last read
  uint16_t NewFlagsWord = 0;             // configuration flags as edited in the check boxes
  bool PlusModel = false;  // the connected instrument is the plus model ("dravik+"): full report

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
  void Timer1Timer(QObject* Sender);
  void ApdComPort1TriggerAvail(QObject* CP, uint16_t Count);
  void Flags12CBClick(QObject* Sender);  // "3%g trigger" changed: interlock with "Measure Pull"
  void Flags15CBClick(QObject* Sender);  // "%g readings" changed: interlock with "Metric Units"
  void ConfigBUTClick(QObject* Sender);  // "APPLY"
  void SetTimBUTClick(QObject* Sender);  // "set time"
  void ClearBUTClick(QObject* Sender);   // "CLEAR"

  // The window system activated the window (or showed it for the first time): FormActivate, with
  // an escaping error shown as the application's error report.
  void WindowActivated();

  // ---- The connection controller ----
  void UpdatePortList();
  void CheckReply();
  void HandleReply();
  void RestartReadout();
  void ShowConnectedView();
  void ShowDisconnectedView();

  // ---- Reply decoders (each reads RxFrame) ----
  void DecodeSerialReply();
  void DecodeStatusReply();
  void DecodeConfigReply();
  void DecodeCalibrationReply();
  void DecodeClockReply();
  void DecodeResultBlock();
  void ShowConfigFlags();
  void CollectConfigFlags();

  // ---- The report ----
  // Prints the report for the current texts on `printer`, without a dialog. Printing-layer
  // errors are thrown as platform::Exception.
  void PrintReportTo(QPrinter& printer);
  // The texts the report prints, read from the controls as they are shown now.
  ReportTexts CollectReportTexts() const;
  // Memo1's lines as the box lays them out, wrapped lines counted separately.
  QStringList Memo1Lines() const;

protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateControls();
  void CreateComponents();
  void ConnectHandlers();
  void DestroyComponents();

  // The receive path.
  void ReceiveChars(int count);
  void CollectChar(char c);
  void TakeHeldBackInput();
  // The tick's request: the read-out step's command, then building and sending the frame.
  void TransmitRequest();
  void PrepareStepRequest();
  void QueueCommand(const std::string& body);
  // The configuration block as last read, for the "9" command.
  protocol::ConfigBlock ConfigBlockAsRead() const;

  bool formActivatedOnce_ = false;  // the port list has been filled at least once
  bool closing_ = false;            // FormClose has run: the tick stops sending
  bool inTick_ = false;             // Timer1Timer is running (it lets pending events run)
  bool inReceive_ = false;          // the receive path is reading characters
  bool rxHeldBack_ = false;         // a receive event was left unread while a box was open
  int boxClosedToken_ = 0;          // our listener at TMessageBoxGuard

  std::unique_ptr<QPrinter> printer_;  // the printer and settings chosen in PrintDialog1
};
