// The main window as built: every control with its member, parent, kind, place, size, text,
// visibility and enabled state at start, font; the tab order; the window's own properties; and
// the few control behaviours the program relies on.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QToolTip>
#include <functional>

#include "app/DravikPCMain.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"

namespace {

struct ExpectedFont {
  const char* family;
  int pixels;
  bool bold;
  bool italic;
};
const ExpectedFont kDefault{"Tahoma", 13, false, false};
const ExpectedFont kItalic{"Tahoma", 13, false, true};
const ExpectedFont kSmall{"Tahoma", 11, false, false};
const ExpectedFont kArial13{"Arial", 13, false, false};
const ExpectedFont kArial12{"Arial", 12, false, false};
const ExpectedFont kTypeFont{"Arial", 16, true, true};

constexpr int kAuto = -1;  // a label sized to its text
enum Start { Shown, Hidden };
enum State { Enabled, Disabled };

struct Row {
  QString name;
  std::function<QWidget*(TDravikPCMainForm&)> member;
  QString parent;  // "" for the window itself
  const char* kind;
  int x, y, w, h;
  QString text;
  Start start;
  State state;
  ExpectedFont font;
};

#define M(name) QStringLiteral(#name), [](TDravikPCMainForm& f) -> QWidget* { return f.name; }

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      // The window's own controls.
      {M(ConfigGB), "", "QGroupBox", 5, 2, 307, 69, "Configuration", Hidden, Enabled, kDefault},
      {M(ConnectStepLAB), "", "QLabel", 338, 9, kAuto, kAuto, "Step", Hidden, Enabled, kDefault},
      {M(PCtimeLAB), "", "QLabel", 325, 32, 62, 16, "12:00:00", Shown, Enabled, kItalic},
      {M(PCdateLAB), "", "QLabel", 325, 52, 65, 16, "01 Jan 05", Shown, Enabled, kItalic},
      {M(CommsLabel), "", "QLabel", 396, 34, 50, 16, "Port", Shown, Enabled, kDefault},
      {M(CommsCB), "", "QComboBox", 457, 30, 145, 24, "", Shown, Enabled, kDefault},
      {M(Label2), "", "QLabel", 394, 88, kAuto, kAuto, "RX", Shown, Enabled, kDefault},
      {M(LightRX), "", "TApdStatusLight", 412, 89, 13, 13, "", Shown, Enabled, kDefault},
      {M(Label1), "", "QLabel", 432, 88, kAuto, kAuto, "TX", Shown, Enabled, kDefault},
      {M(LightTX), "", "TApdStatusLight", 450, 89, 13, 13, "", Shown, Enabled, kDefault},
      {M(ConnectBUT), "", "QPushButton", 494, 86, 55, 20, "connect", Shown, Enabled, kDefault},
      {M(FinishBUT), "", "QPushButton", 553, 86, 55, 20, "finish", Shown, Enabled, kDefault},
      {M(CalibGB), "", "QGroupBox", 5, 72, 380, 89, "Instrument and Calibration", Hidden, Enabled, kDefault},
      {M(OutLabel), "", "QLabel", 24, 160, kAuto, kAuto, "TX string", Hidden, Enabled, kDefault},
      {M(InLabel), "", "QLabel", 192, 160, kAuto, kAuto, "RX string", Hidden, Enabled, kDefault},
      {M(ConnectedGB), "", "QGroupBox", 392, 112, 217, 64, "", Hidden, Enabled, kDefault},
      {M(ResultsGB), "", "QGroupBox", 5, 176, 92, 289, "Results", Hidden, Enabled, kDefault},
      {M(Test1GB), "", "QGroupBox", 96, 176, 97, 289, "Test 1", Hidden, Enabled, kDefault},
      {M(Test2GB), "", "QGroupBox", 192, 176, 97, 289, "Test 2", Hidden, Enabled, kDefault},
      {M(Test3GB), "", "QGroupBox", 288, 176, 97, 289, "Test 3", Hidden, Enabled, kDefault},
      {M(NotesGB), "", "QGroupBox", 384, 176, 225, 289, "Notes", Hidden, Enabled, kDefault},
      // Configuration.
      {M(Flags12CB), "ConfigGB", "QCheckBox", 10, 19, 89, 18, "3%g trigger", Shown, Enabled, kDefault},
      {M(Flags13CB), "ConfigGB", "QCheckBox", 107, 19, 98, 18, "LED is peak", Shown, Enabled, kDefault},
      {M(Flags14CB), "ConfigGB", "QCheckBox", 204, 20, 97, 17, "Metric Units", Shown, Enabled, kDefault},
      {M(Flags15CB), "ConfigGB", "QCheckBox", 107, 43, 89, 17, "%g readings", Shown, Enabled, kDefault},
      {M(Flags17CB), "ConfigGB", "QCheckBox", 204, 43, 97, 17, "Measure Pull", Shown, Enabled, kDefault},
      {M(ConfigBUT), "ConfigGB", "QPushButton", 9, 42, 49, 20, "APPLY", Shown, Enabled, kDefault},
      // Instrument and calibration.
      {M(Label3), "CalibGB", "QLabel", 160, 22, kAuto, kAuto, "Serial No", Shown, Enabled, kSmall},
      {M(SerialEB), "CalibGB", "QLineEdit", 216, 16, 57, 24, "0000", Shown, Disabled, kArial13},
      {M(TypeLAB), "CalibGB", "QLabel", 296, 18, kAuto, kAuto, "dravik +", Shown, Enabled, kTypeFont},
      {M(CalibLAB), "CalibGB", "QLabel", 8, 34, kAuto, kAuto, "Calibrated", Shown, Enabled, kSmall},
      {M(ByWhoLAB), "CalibGB", "QLabel", 8, 47, kAuto, kAuto, "Service ID", Shown, Enabled, kSmall},
      {M(VersionLAB), "CalibGB", "QLabel", 8, 60, kAuto, kAuto, "Version ?", Shown, Enabled, kSmall},
      {M(Label5), "CalibGB", "QLabel", 168, 58, kAuto, kAuto, "Battery", Shown, Enabled, kSmall},
      {M(BattEDIT), "CalibGB", "QLineEdit", 216, 52, 57, 24, "9.0 V", Shown, Disabled, kArial13},
      {M(Label4), "CalibGB", "QLabel", 280, 58, kAuto, kAuto, "Temp.", Shown, Enabled, kSmall},
      {M(TempEDIT), "CalibGB", "QLineEdit", 316, 52, 53, 24, " 50.5 C", Shown, Disabled, kArial13},
      // Row labels.
      {M(PeakLAB), "ResultsGB", "QLabel", 12, 44, kAuto, kAuto, "Peak Decel.", Shown, Enabled, kDefault},
      {M(MeanLAB), "ResultsGB", "QLabel", 11, 76, kAuto, kAuto, "Mean Decel.", Shown, Enabled, kDefault},
      {M(SpeedLAB), "ResultsGB", "QLabel", 11, 108, kAuto, kAuto, "Test Speed", Shown, Enabled, kDefault},
      {M(StopLAB), "ResultsGB", "QLabel", 19, 140, kAuto, kAuto, "Stop Time", Shown, Enabled, kDefault},
      {M(DistanceLAB), "ResultsGB", "QLabel", 27, 172, kAuto, kAuto, "Distance", Shown, Enabled, kDefault},
      {M(PullLAB), "ResultsGB", "QLabel", 51, 204, kAuto, kAuto, "Pull", Shown, Enabled, kDefault},
      {M(ClearBUT), "ResultsGB", "QPushButton", 16, 263, 57, 20, "CLEAR", Shown, Enabled, kDefault},
      // Test columns.
      {M(T1DateLAB), "Test1GB", "QLabel", 6, 20, 84, 15, "12:15 12-03-05", Shown, Enabled, kArial12},
      {M(T1PeakEB), "Test1GB", "QLineEdit", 8, 40, 80, 24, "T1PeakEDIT", Shown, Disabled, kDefault},
      {M(T1MeanEB), "Test1GB", "QLineEdit", 8, 72, 80, 24, "T1MeanEDIT", Shown, Disabled, kDefault},
      {M(T1SpeedEB), "Test1GB", "QLineEdit", 8, 104, 80, 24, "T1SpeedEDIT", Shown, Disabled, kDefault},
      {M(T1StopEB), "Test1GB", "QLineEdit", 8, 136, 80, 24, "T1StopEDIT", Shown, Disabled, kDefault},
      {M(T1DistEB), "Test1GB", "QLineEdit", 8, 168, 80, 24, "T1DistanceEDIT", Shown, Disabled, kDefault},
      {M(T1PullEB), "Test1GB", "QLineEdit", 8, 200, 80, 24, "T1PullEDIT", Shown, Disabled, kDefault},
      {M(T1PullGEB), "Test1GB", "QLineEdit", 8, 224, 80, 24, "T1PullEDIT", Shown, Disabled, kDefault},
      {M(MainCB), "Test1GB", "QCheckBox", 8, 264, 81, 17, "Main brake", Shown, Enabled, kDefault},
      {M(T2DateLAB), "Test2GB", "QLabel", 6, 20, 84, 15, "12:15 12-03-05", Shown, Enabled, kArial12},
      {M(T2PeakEB), "Test2GB", "QLineEdit", 8, 40, 80, 24, "T2PeakEDIT", Shown, Disabled, kDefault},
      {M(T2MeanEB), "Test2GB", "QLineEdit", 8, 72, 80, 24, "T2MeanEDIT", Shown, Disabled, kDefault},
      {M(T2SpeedEB), "Test2GB", "QLineEdit", 8, 104, 80, 24, "T2SpeedEDIT", Shown, Disabled, kDefault},
      {M(T2StopEB), "Test2GB", "QLineEdit", 8, 136, 80, 24, "T2StopEDIT", Shown, Disabled, kDefault},
      {M(T2DistEB), "Test2GB", "QLineEdit", 8, 168, 80, 24, "T2DistanceEDIT", Shown, Disabled, kDefault},
      {M(T2PullEB), "Test2GB", "QLineEdit", 8, 200, 80, 24, "T2PullEDIT", Shown, Disabled, kDefault},
      {M(T2PullGEB), "Test2GB", "QLineEdit", 8, 224, 80, 24, "T2PullEDIT", Shown, Disabled, kDefault},
      {M(SecondaryCB), "Test2GB", "QCheckBox", 8, 264, 81, 17, "Secondary", Shown, Enabled, kDefault},
      {M(T3DateLAB), "Test3GB", "QLabel", 6, 20, 84, 15, "12:15 12-03-05", Shown, Enabled, kArial12},
      {M(T3PeakEB), "Test3GB", "QLineEdit", 8, 40, 80, 24, "T3PeakEDIT", Shown, Disabled, kDefault},
      {M(T3MeanEB), "Test3GB", "QLineEdit", 8, 72, 80, 24, "T3MeanEDIT", Shown, Disabled, kDefault},
      {M(T3SpeedEB), "Test3GB", "QLineEdit", 8, 104, 80, 24, "T3SpeedEDIT", Shown, Disabled, kDefault},
      {M(T3StopEB), "Test3GB", "QLineEdit", 8, 136, 80, 24, "T3StopEDIT", Shown, Disabled, kDefault},
      {M(T3DistEB), "Test3GB", "QLineEdit", 8, 168, 80, 24, "T3DistanceEDIT", Shown, Disabled, kDefault},
      {M(T3PullEB), "Test3GB", "QLineEdit", 8, 200, 80, 24, "T3PullEDIT", Shown, Disabled, kDefault},
      {M(T3PullGEB), "Test3GB", "QLineEdit", 8, 224, 80, 24, "T3PullEDIT", Shown, Disabled, kDefault},
      {M(ParkingCB), "Test3GB", "QCheckBox", 8, 264, 65, 17, "Parking", Shown, Enabled, kDefault},
      // Notes.
      {M(VehicleLAB), "NotesGB", "QLabel", 8, 33, kAuto, kAuto, "Vehicle Reg.", Shown, Enabled, kDefault},
      {M(VehicleEB), "NotesGB", "QLineEdit", 88, 30, 129, 24, "Vehicle Registration", Shown, Enabled, kDefault},
      {M(ExaminerLAB), "NotesGB", "QLabel", 24, 73, kAuto, kAuto, "Examiner", Shown, Enabled, kDefault},
      {M(ExaminerEB), "NotesGB", "QLineEdit", 88, 70, 129, 24, "Examiner Name", Shown, Enabled, kDefault},
      {M(Memo1), "NotesGB", "QPlainTextEdit", 8, 112, 209, 169, "Examiner notes", Shown, Enabled, kDefault},
      // Connected.
      {M(ConnectedRB), "ConnectedGB", "QRadioButton", 12, 5, 97, 25, "connected at", Shown, Enabled, kDefault},
      {M(DVtimeLAB), "ConnectedGB", "QLabel", 113, 9, kAuto, kAuto, "____________", Shown, Enabled, kDefault},
      {M(RefreshBUT), "ConnectedGB", "QPushButton", 12, 34, 57, 20, "refresh", Shown, Enabled, kDefault},
      {M(SetTimBUT), "ConnectedGB", "QPushButton", 79, 34, 57, 20, "set time", Shown, Disabled, kDefault},
      {M(PrintBUT), "ConnectedGB", "QPushButton", 146, 34, 57, 20, "print", Shown, Enabled, kDefault},
  };
  return rows;
}
#undef M

QString TextOf(QWidget* w) {
  if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) return memo->toPlainText();
  return QString();
}

bool IsArialOrItsMetricTwin(const QString& family) {
  return family == "Arial" || family == "Liberation Sans";
}

}  // namespace

TEST(MainWindowLayout, EveryControl) {
  TDravikPCMainForm form;
  const std::vector<Row> rows = Rows();
  QSet<QString> listed;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name.toStdString());
    listed.insert(r.name);
    QWidget* w = r.member(form);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), r.name);
    EXPECT_EQ(form.findChild<QWidget*>(r.name), w);
    EXPECT_EQ(w->parentWidget()->objectName(), r.parent.isEmpty() ? "DravikPCMainForm" : r.parent);
    EXPECT_TRUE(w->inherits(r.kind)) << w->metaObject()->className();
    EXPECT_EQ(w->pos(), QPoint(r.x, r.y));
    if (r.w == kAuto)
      EXPECT_EQ(w->size(), w->sizeHint());
    else
      EXPECT_EQ(w->size(), QSize(r.w, r.h));
    EXPECT_EQ(TextOf(w), r.text);
    EXPECT_EQ(w->isHidden(), r.start == Hidden);
    EXPECT_EQ(w->isEnabled(), r.state == Enabled);
    const QFont font = w->font();
    EXPECT_EQ(font.family(), r.font.family);
    EXPECT_EQ(font.pixelSize(), r.font.pixels);
    EXPECT_EQ(font.bold(), r.font.bold);
    EXPECT_EQ(font.italic(), r.font.italic);
    // The family must really be there (or, for Arial, its metric twin), not a fallback.
    const QString actual = QFontInfo(font).family();
    if (QString(r.font.family) == "Arial")
      EXPECT_TRUE(IsArialOrItsMetricTwin(actual)) << actual.toStdString();
    else
      EXPECT_EQ(actual, r.font.family);
  }
  // Nothing named is left out of the table (Qt's own inner widgets are named qt_...).
  for (QWidget* w : form.findChildren<QWidget*>()) {
    if (w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
    EXPECT_TRUE(listed.contains(w->objectName())) << w->objectName().toStdString();
  }
}

TEST(MainWindowLayout, InitialStatesAndColours) {
  TDravikPCMainForm form;
  for (QCheckBox* box : {form.Flags12CB, form.Flags13CB, form.Flags14CB, form.Flags15CB, form.Flags17CB,
                         form.MainCB, form.SecondaryCB, form.ParkingCB})
    EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
  EXPECT_FALSE(form.ConnectedRB->isChecked());
  EXPECT_FALSE(form.PlusModel());

  EXPECT_EQ(form.PeakLAB->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form.MeanLAB->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  EXPECT_EQ(form.CommsLabel->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

  const QColor buttonFace = form.palette().color(QPalette::Button);
  struct Lamp {
    TApdStatusLight* light;
    QColor lit;
  };
  for (const Lamp& lamp : {Lamp{form.LightRX, QColor(255, 0, 0)}, Lamp{form.LightTX, QColor(0, 128, 0)}}) {
    SCOPED_TRACE(lamp.light->objectName().toStdString());
    EXPECT_FALSE(lamp.light->Lit());
    EXPECT_FALSE(lamp.light->HasGlyph());
    EXPECT_FALSE(lamp.light->IsLoading());
    EXPECT_EQ(lamp.light->LitColor(), lamp.lit);
    EXPECT_EQ(lamp.light->NotLitColor(), buttonFace);
  }
  const auto components = TApdComponentLink::Components(&form);
  // In order of creation: the lamps, then the light controller; the port is the session's.
  ASSERT_EQ(components.size(), 3u);
  EXPECT_EQ(components[0]->ComponentObject(), form.LightRX);
  EXPECT_EQ(components[1]->ComponentObject(), form.LightTX);
  EXPECT_EQ(components[2]->ComponentObject(), form.ApdSLController1);
  const auto sessionComponents = TApdComponentLink::Components(form.Session);
  ASSERT_EQ(sessionComponents.size(), 1u);
  EXPECT_EQ(sessionComponents[0]->ComponentObject(), form.Session->ApdComPort1);
  EXPECT_EQ(form.ApdSLController1->ComPort(), form.Session->ApdComPort1);

  EXPECT_FALSE(form.CommsCB->isEditable());
  EXPECT_EQ(form.CommsCB->count(), 0);
  form.CommsCB->addItems({"COM1", "COM3"});
  EXPECT_EQ(form.CommsCB->view()->sizeHintForRow(0), 16);

  EXPECT_EQ(form.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(form.Memo1->document()->blockCount(), 1);
}

TEST(MainWindowLayout, TheWindowItself) {
  TDravikPCMainForm form;
  EXPECT_EQ(form.objectName(), "DravikPCMainForm");
  EXPECT_EQ(form.windowTitle(), "dravikPC 1.0.4");
  EXPECT_EQ(form.size(), QSize(614, 468));
  EXPECT_EQ(form.minimumSize(), QSize(614, 468));
  EXPECT_EQ(form.maximumSize(), QSize(614, 468));
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(form.autoFillBackground());
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(244, 244, 232));
  EXPECT_EQ(form.font().family(), "Tahoma");
  EXPECT_EQ(form.font().pixelSize(), 13);
  EXPECT_EQ(QFontInfo(form.font()).family(), "Tahoma");
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((form.geometry().center() - screenCentre).manhattanLength(), 2);

  // Only the top strip shows at start.
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QStringList visible;
  for (QWidget* w : form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (w->isVisible() && !w->objectName().isEmpty()) visible << w->objectName();
  visible.sort();
  EXPECT_EQ(visible, QStringList({"CommsCB", "CommsLabel", "ConnectBUT", "FinishBUT", "Label1", "Label2", "LightRX",
                                  "LightTX", "PCdateLAB", "PCtimeLAB"}));
}

TEST(MainWindowLayout, TabOrderWithinEachParent) {
  TDravikPCMainForm form;
  const QStringList expected = {"ConnectBUT", "FinishBUT",                                            // window
                                "Flags13CB", "Flags15CB", "Flags14CB", "Flags17CB", "ConfigBUT", "Flags12CB",  // ConfigGB
                                "ClearBUT", "MainCB", "SecondaryCB", "ParkingCB",
                                "Memo1", "VehicleEB", "ExaminerEB",                                   // NotesGB
                                "ConnectedRB", "SetTimBUT", "RefreshBUT", "PrintBUT",                 // ConnectedGB
                                "CommsCB"};
  const QSet<QString> focusable(expected.begin(), expected.end());
  QStringList chain;
  for (QWidget* w = form.nextInFocusChain(); w && w != &form; w = w->nextInFocusChain())
    if (focusable.contains(w->objectName())) chain << w->objectName();
  EXPECT_EQ(chain, expected);
  for (const QString& name : expected)
    EXPECT_TRUE(form.findChild<QWidget*>(name)->focusPolicy() & Qt::TabFocus) << name.toStdString();
}

TEST(MainWindowLayout, NoTooltips) {
  // A tooltip request on a control outside the window shows its tooltip ...
  QPushButton outside("outside");
  outside.setToolTip("tip");
  outside.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&outside));
  QHelpEvent outsideHelp(QEvent::ToolTip, QPoint(2, 2), outside.mapToGlobal(QPoint(2, 2)));
  QCoreApplication::sendEvent(&outside, &outsideHelp);
  const bool mechanismWorks = QToolTip::isVisible();
  QToolTip::hideText();

  // ... but none inside it, whatever the control carries.
  TDravikPCMainForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  for (QWidget* w : {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.ConnectBUT),
                     static_cast<QWidget*>(form.CommsCB)}) {
    w->setToolTip("tip");
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(w, &help);
    EXPECT_FALSE(QToolTip::isVisible()) << w->objectName().toStdString();
    QToolTip::hideText();
  }
  if (!mechanismWorks) GTEST_SKIP() << "tooltips do not show on this platform";
}

TEST(MainWindowLayout, ControlBehaviours) {
  TDravikPCMainForm form;
  form.show();
  form.ConnectedGB->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  // "connected at": a click checks it and a second click leaves it checked; the program unchecks it.
  QTest::mouseClick(form.ConnectedRB, Qt::LeftButton);
  EXPECT_TRUE(form.ConnectedRB->isChecked());
  QTest::mouseClick(form.ConnectedRB, Qt::LeftButton);
  EXPECT_TRUE(form.ConnectedRB->isChecked());
  form.ConnectedRB->setChecked(false);
  EXPECT_FALSE(form.ConnectedRB->isChecked());

  // Auto-sized labels follow their text; fixed ones keep their size.
  form.CalibLAB->setText("Calibrate before:  01-02-2027");
  EXPECT_EQ(form.CalibLAB->size(), form.CalibLAB->sizeHint());
  EXPECT_GT(form.CalibLAB->width(), 100);
  form.PCtimeLAB->setText("23:59:59 and more");
  EXPECT_EQ(form.PCtimeLAB->size(), QSize(62, 16));

  // "finish" closes the window.
  QTest::mouseClick(form.FinishBUT, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
}
