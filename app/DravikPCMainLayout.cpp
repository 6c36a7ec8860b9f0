// The main window's controls: where they sit (pixels at 96 dpi, relative to their parent's
// top-left corner), their captions and placeholder texts, fonts, colours, initial visibility and
// enabled state, and the tab order within each parent. At start only the top strip shows; the
// controller shows the groups once it has read the instrument.
#include <QEvent>
#include <QPalette>

#include "app/DravikPCMain.h"
#include "report/NotesBox.h"

namespace {

QFont Font(const char* family, int pixels, bool bold = false, bool italic = false) {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(pixels);  // the character (em) height
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QGroupBox* GroupBox(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& caption) {
  auto* box = Named(new QGroupBox(caption, parent), name);
  box->setGeometry(x, y, w, h);
  box->setVisible(false);
  return box;
}

// A label sized to its text.
TLabel* Label(QWidget* parent, const char* name, int x, int y, const QString& text) {
  auto* label = Named(new TLabel(text, parent, /*autoSize=*/false), name);
  label->move(x, y);
  label->SetAutoSize(true);
  return label;
}

// A label of a fixed size.
TLabel* FixedLabel(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text) {
  auto* label = Named(new TLabel(text, parent, /*autoSize=*/false), name);
  label->setGeometry(x, y, w, h);
  return label;
}

// A display box: a single-line edit the controller writes into; disabled, so it shows its text
// greyed and can be neither edited nor focused.
QLineEdit* DisplayBox(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text) {
  auto* box = Named(new QLineEdit(text, parent), name);
  box->setGeometry(x, y, w, h);
  box->setEnabled(false);
  return box;
}

QLineEdit* EditBox(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text) {
  auto* box = Named(new QLineEdit(text, parent), name);
  box->setGeometry(x, y, w, h);
  return box;
}

QPushButton* Button(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& caption) {
  auto* button = Named(new QPushButton(caption, parent), name);
  button->setGeometry(x, y, w, h);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& caption) {
  auto* box = Named(new QCheckBox(caption, parent), name);
  box->setGeometry(x, y, w, h);
  return box;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

// Links `order` into the focus chain one after the other.
void TabOrder(std::initializer_list<QWidget*> order) {
  QWidget* previous = nullptr;
  for (QWidget* widget : order) {
    if (previous) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

// Swallows tooltip requests: the window shows no tooltips, whatever a control carries.
class ToolTipBlocker : public QObject {
public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

// One test column: date label, the seven display boxes and the brake-kind check box.
struct TestColumn {
  TLabel** date;
  QLineEdit** peak;
  QLineEdit** mean;
  QLineEdit** speed;
  QLineEdit** stop;
  QLineEdit** dist;
  QLineEdit** pull;
  QLineEdit** pullG;
  QCheckBox** kind;
};

void BuildTestColumn(QGroupBox* box, int number, const TestColumn& c, const char* kindName,
                     const QString& kindCaption, int kindWidth) {
  const QString t = QStringLiteral("T%1").arg(number);
  auto name = [&](const char* suffix) { return (t + QString::fromLatin1(suffix)).toLatin1(); };
  *c.date = FixedLabel(box, name("DateLAB").constData(), 6, 20, 84, 15, QStringLiteral("12:15 12-03-05"));
  (*c.date)->setFont(Font("Arial", 12));
  *c.peak = DisplayBox(box, name("PeakEB").constData(), 8, 40, 80, 24, t + QStringLiteral("PeakEDIT"));
  *c.mean = DisplayBox(box, name("MeanEB").constData(), 8, 72, 80, 24, t + QStringLiteral("MeanEDIT"));
  *c.speed = DisplayBox(box, name("SpeedEB").constData(), 8, 104, 80, 24, t + QStringLiteral("SpeedEDIT"));
  *c.stop = DisplayBox(box, name("StopEB").constData(), 8, 136, 80, 24, t + QStringLiteral("StopEDIT"));
  *c.dist = DisplayBox(box, name("DistEB").constData(), 8, 168, 80, 24, t + QStringLiteral("DistanceEDIT"));
  *c.pull = DisplayBox(box, name("PullEB").constData(), 8, 200, 80, 24, t + QStringLiteral("PullEDIT"));
  *c.pullG = DisplayBox(box, name("PullGEB").constData(), 8, 224, 80, 24, t + QStringLiteral("PullEDIT"));
  *c.kind = CheckBox(box, kindName, 8, 264, kindWidth, 17, kindCaption);
}

}  // namespace

void TDravikPCMainForm::SetUpWindow() {
  setObjectName(QStringLiteral("DravikPCMainForm"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("dravikPC 1.0.4"));
  setFixedSize(614, 468);
  setFont(WindowFont());  // Tahoma 13 px, which the notes box wraps its lines in
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(244, 244, 232));
  palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
  setPalette(palette);
  setAutoFillBackground(true);
}

void TDravikPCMainForm::CreateWindowControls() {
  // ---- The window's own controls ----
  ConfigGB = GroupBox(this, "ConfigGB", 5, 2, 307, 69, QStringLiteral("Configuration"));
  ConnectStepLAB = Label(this, "ConnectStepLAB", 338, 9, QStringLiteral("Step"));
  ConnectStepLAB->setVisible(false);
  PCtimeLAB = FixedLabel(this, "PCtimeLAB", 325, 32, 62, 16, QStringLiteral("12:00:00"));
  PCtimeLAB->setFont(Font("Tahoma", 13, false, true));
  PCdateLAB = FixedLabel(this, "PCdateLAB", 325, 52, 65, 16, QStringLiteral("01 Jan 05"));
  PCdateLAB->setFont(Font("Tahoma", 13, false, true));
  CommsLabel = FixedLabel(this, "CommsLabel", 396, 34, 50, 16, QStringLiteral("Port"));
  CommsLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
  CommsCB = Named(new QComboBox(this), "CommsCB");
  CommsCB->setEditable(false);
  CommsCB->setGeometry(457, 30, 145, 24);
  CommsCB->setItemDelegate(new FixedRowHeightDelegate(16, CommsCB));
  Label2 = Label(this, "Label2", 394, 88, QStringLiteral("RX"));

  // The lamps are components of the window; their controller is attached with the serial port.
  const QColor buttonFace = this->palette().color(QPalette::Button);
  LightRX = Named(new TApdStatusLight(this), "LightRX");
  LightRX->BeginLoading();
  LightRX->SetBounds(412, 89, 13, 13);
  LightRX->SetNotLitColor(buttonFace);
  Label1 = Label(this, "Label1", 432, 88, QStringLiteral("TX"));
  LightTX = Named(new TApdStatusLight(this), "LightTX");
  LightTX->BeginLoading();
  LightTX->SetBounds(450, 89, 13, 13);
  LightTX->SetLitColor(QColor(0, 128, 0));
  LightTX->SetNotLitColor(buttonFace);

  ConnectBUT = Button(this, "ConnectBUT", 494, 86, 55, 20, QStringLiteral("connect"));
  FinishBUT = Button(this, "FinishBUT", 553, 86, 55, 20, QStringLiteral("finish"));
  CalibGB = GroupBox(this, "CalibGB", 5, 72, 380, 89, QStringLiteral("Instrument and Calibration"));
  OutLabel = Label(this, "OutLabel", 24, 160, QStringLiteral("TX string"));
  OutLabel->setVisible(false);
  InLabel = Label(this, "InLabel", 192, 160, QStringLiteral("RX string"));
  InLabel->setVisible(false);
  ConnectedGB = GroupBox(this, "ConnectedGB", 392, 112, 217, 64, QString());
  ResultsGB = GroupBox(this, "ResultsGB", 5, 176, 92, 289, QStringLiteral("Results"));
  Test1GB = GroupBox(this, "Test1GB", 96, 176, 97, 289, QStringLiteral("Test 1"));
  Test2GB = GroupBox(this, "Test2GB", 192, 176, 97, 289, QStringLiteral("Test 2"));
  Test3GB = GroupBox(this, "Test3GB", 288, 176, 97, 289, QStringLiteral("Test 3"));
  NotesGB = GroupBox(this, "NotesGB", 384, 176, 225, 289, QStringLiteral("Notes"));
}

void TDravikPCMainForm::CreateConfigControls() {
  // ---- ConfigGB: all unchecked until the configuration is read ----
  Flags12CB = CheckBox(ConfigGB, "Flags12CB", 10, 19, 89, 18, QStringLiteral("3%g trigger"));
  Flags13CB = CheckBox(ConfigGB, "Flags13CB", 107, 19, 98, 18, QStringLiteral("LED is peak"));
  Flags14CB = CheckBox(ConfigGB, "Flags14CB", 204, 20, 97, 17, QStringLiteral("Metric Units"));
  Flags15CB = CheckBox(ConfigGB, "Flags15CB", 107, 43, 89, 17, QStringLiteral("%g readings"));
  Flags17CB = CheckBox(ConfigGB, "Flags17CB", 204, 43, 97, 17, QStringLiteral("Measure Pull"));
  ConfigBUT = Button(ConfigGB, "ConfigBUT", 9, 42, 49, 20, QStringLiteral("APPLY"));
}

void TDravikPCMainForm::CreateCalibControls() {
  // ---- CalibGB: labels in Tahoma 11 px, display boxes in Arial 13 px ----
  const QFont calibLabels = Font("Tahoma", 11);
  const QFont calibBoxes = Font("Arial", 13);
  Label3 = Label(CalibGB, "Label3", 160, 22, QStringLiteral("Serial No"));
  SerialEB = DisplayBox(CalibGB, "SerialEB", 216, 16, 57, 24, QStringLiteral("0000"));
  TypeLAB = Label(CalibGB, "TypeLAB", 296, 18, QStringLiteral("dravik +"));
  TypeLAB->setFont(Font("Arial", 16, true, true));
  CalibLAB = Label(CalibGB, "CalibLAB", 8, 34, QStringLiteral("Calibrated"));
  ByWhoLAB = Label(CalibGB, "ByWhoLAB", 8, 47, QStringLiteral("Service ID"));
  VersionLAB = Label(CalibGB, "VersionLAB", 8, 60, QStringLiteral("Version ?"));
  Label5 = Label(CalibGB, "Label5", 168, 58, QStringLiteral("Battery"));
  BattEDIT = DisplayBox(CalibGB, "BattEDIT", 216, 52, 57, 24, QStringLiteral("9.0 V"));
  Label4 = Label(CalibGB, "Label4", 280, 58, QStringLiteral("Temp."));
  TempEDIT = DisplayBox(CalibGB, "TempEDIT", 316, 52, 53, 24, QStringLiteral(" 50.5 C"));
  for (TLabel* label : {Label3, CalibLAB, ByWhoLAB, VersionLAB, Label5, Label4}) label->setFont(calibLabels);
  for (QLineEdit* box : {SerialEB, BattEDIT, TempEDIT}) box->setFont(calibBoxes);
}

void TDravikPCMainForm::CreateResultControls() {
  // ---- ResultsGB: row labels level with the rows of the test columns ----
  PeakLAB = Label(ResultsGB, "PeakLAB", 12, 44, QStringLiteral("Peak Decel."));
  SetTextColour(PeakLAB, QColor(255, 0, 0));
  MeanLAB = Label(ResultsGB, "MeanLAB", 11, 76, QStringLiteral("Mean Decel."));
  SetTextColour(MeanLAB, QColor(0, 0, 0));
  SpeedLAB = Label(ResultsGB, "SpeedLAB", 11, 108, QStringLiteral("Test Speed"));
  StopLAB = Label(ResultsGB, "StopLAB", 19, 140, QStringLiteral("Stop Time"));
  DistanceLAB = Label(ResultsGB, "DistanceLAB", 27, 172, QStringLiteral("Distance"));
  PullLAB = Label(ResultsGB, "PullLAB", 51, 204, QStringLiteral("Pull"));
  ClearBUT = Button(ResultsGB, "ClearBUT", 16, 263, 57, 20, QStringLiteral("CLEAR"));

  // ---- The three test columns ----
  BuildTestColumn(Test1GB, 1,
                  {&T1DateLAB, &T1PeakEB, &T1MeanEB, &T1SpeedEB, &T1StopEB, &T1DistEB, &T1PullEB, &T1PullGEB, &MainCB},
                  "MainCB", QStringLiteral("Main brake"), 81);
  BuildTestColumn(Test2GB, 2,
                  {&T2DateLAB, &T2PeakEB, &T2MeanEB, &T2SpeedEB, &T2StopEB, &T2DistEB, &T2PullEB, &T2PullGEB,
                   &SecondaryCB},
                  "SecondaryCB", QStringLiteral("Secondary"), 81);
  BuildTestColumn(Test3GB, 3,
                  {&T3DateLAB, &T3PeakEB, &T3MeanEB, &T3SpeedEB, &T3StopEB, &T3DistEB, &T3PullEB, &T3PullGEB,
                   &ParkingCB},
                  "ParkingCB", QStringLiteral("Parking"), 65);
}

void TDravikPCMainForm::CreateNotesControls() {
  // ---- NotesGB: the only editable texts ----
  VehicleLAB = Label(NotesGB, "VehicleLAB", 8, 33, QStringLiteral("Vehicle Reg."));
  VehicleEB = EditBox(NotesGB, "VehicleEB", 88, 30, 129, 24, QStringLiteral("Vehicle Registration"));
  ExaminerLAB = Label(NotesGB, "ExaminerLAB", 24, 73, QStringLiteral("Examiner"));
  ExaminerEB = EditBox(NotesGB, "ExaminerEB", 88, 70, 129, 24, QStringLiteral("Examiner Name"));
  Memo1 = Named(new QPlainTextEdit(QStringLiteral("Examiner notes"), NotesGB), "Memo1");
  Memo1->move(8, 112);
  SetUpNotesBox(*Memo1);  // 209 x 169, word wrap, horizontal scroll bar: as a kept read-out's notes print
}

void TDravikPCMainForm::CreateConnectedControls() {
  // ---- ConnectedGB ----
  ConnectedRB = Named(new TRadioButton(QStringLiteral("connected at"), ConnectedGB), "ConnectedRB");
  ConnectedRB->setGeometry(12, 5, 97, 25);
  DVtimeLAB = Label(ConnectedGB, "DVtimeLAB", 113, 9, QStringLiteral("____________"));
  RefreshBUT = Button(ConnectedGB, "RefreshBUT", 12, 34, 57, 20, QStringLiteral("refresh"));
  SetTimBUT = Button(ConnectedGB, "SetTimBUT", 79, 34, 57, 20, QStringLiteral("set time"));
  SetTimBUT->setEnabled(false);
  PrintBUT = Button(ConnectedGB, "PrintBUT", 146, 34, 57, 20, QStringLiteral("print"));
}

void TDravikPCMainForm::SetTabOrderAndToolTips() {
  // ---- Tab order: each parent's controls in their own order, parents in the window's ----
  TabOrder({ConnectBUT, FinishBUT,                                        // window 0, 1
            /* CalibGB 2: nothing focusable */
            Flags13CB, Flags15CB, Flags14CB, Flags17CB, ConfigBUT, Flags12CB,  // ConfigGB 3
            ClearBUT,                                                     // ResultsGB 4
            MainCB, SecondaryCB, ParkingCB,                               // Test1GB..Test3GB 5-7
            Memo1, VehicleEB, ExaminerEB,                                 // NotesGB 8
            ConnectedRB, SetTimBUT, RefreshBUT, PrintBUT,                 // ConnectedGB 9
            CommsCB});                                                    // window 10

  // No tooltips anywhere in the window.
  auto* blocker = new ToolTipBlocker(this);
  installEventFilter(blocker);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(blocker);
}

void TDravikPCMainForm::CreateControls() {
  SetUpWindow();
  CreateWindowControls();
  CreateConfigControls();
  CreateCalibControls();
  CreateResultControls();
  CreateNotesControls();
  CreateConnectedControls();
  SetTabOrderAndToolTips();
  // The handlers are connected with the components (ConnectHandlers).
}
