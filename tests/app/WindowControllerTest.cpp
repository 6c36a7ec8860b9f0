// The controller's window side without an instrument: the port list (from a list of values put
// in place of the system's), "connect" without a port, the configuration read into the check
// boxes and notes, the interlocks, the connected view's rules and the commands the buttons queue.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QPalette>

#include "app/DravikPCMain.h"
#include "tests/app/FormReplies.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/QStringPrinter.h"

namespace {

using Values = std::vector<platform::SerialCommValue>;

// A reply frame without its carriage return, as RxFrame holds it.
std::string Frame(char type, const std::string& data) { return ReplyFrom0123(type, data); }

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

class WindowTest : public ::testing::Test {
protected:
  void ReadConfig(uint16_t flags, uint16_t feature = 0x0020) {
    ReadConfigBlock(form, feature, flags);
  }

  BoxesInstalled boxes;
  ArchiveOff archiveOff;  // CLEAR and APPLY before a complete read-out queue as the window's rules say
  TDravikPCMainForm form;
};

// --- Port list ------------------------------------------------------------------------------

TEST_F(WindowTest, ThePortListShowsOneEntryPerPortAndSelectsTheFirst) {
  form.ReadPortValues = [] {
    return Values{{"\\Device\\Serial0", "COM3"}, {"\\Device\\BthModem0", "COM9"}, {"/dev/ttyUSB0", "COM12"}};
  };
  ShowForm(form);
  EXPECT_EQ(Items(form.CommsCB), (QStringList{QStringLiteral("COM 3"), QStringLiteral("COM 12")}));
  EXPECT_EQ(form.PortNumbers, (TPortsList{3, 12}));
  EXPECT_EQ(form.CommsCB->currentIndex(), 0);
  EXPECT_TRUE(form.ConnectBUT->isEnabled());
  EXPECT_TRUE(boxes->shown.isEmpty());
}

TEST_F(WindowTest, WithoutPortsConnectStaysEnabledAndTellsEveryPress) {
  form.ReadPortValues = [] { return Values{}; };
  ShowForm(form);
  EXPECT_EQ(form.CommsCB->count(), 0);
  EXPECT_TRUE(form.ConnectBUT->isEnabled());
  form.ConnectBUT->click();
  form.ConnectBUT->click();
  EXPECT_EQ(boxes->shown, (QStringList{QStringLiteral("Problem opening comm port"),
                                       QStringLiteral("Problem opening comm port")}));
  EXPECT_FALSE(form.Session->Timer1->Enabled());
  EXPECT_FALSE(form.Session->ApdComPort1->Open());
  EXPECT_TRUE(form.ConnectBUT->isEnabled());
  EXPECT_TRUE(form.CommsCB->isEnabled());
}

TEST_F(WindowTest, AMissingPortCannotBeOpenedAndTheCycleDoesNotStart) {
  form.ReadPortValues = [] { return Values{{"/dev/nothing-here", "COM201"}}; };
  ShowForm(form);
  form.ConnectBUT->click();
  EXPECT_EQ(boxes->shown, QStringList{QStringLiteral("Problem opening comm port")});
  EXPECT_FALSE(form.Session->Timer1->Enabled());
  EXPECT_TRUE(form.ConnectBUT->isEnabled());
  EXPECT_TRUE(form.CommsCB->isEnabled());
  EXPECT_FALSE(form.ApdSLController1->Tracking());
}

TEST_F(WindowTest, AMalformedPortIsReportedOnceAndTheOldListStays) {
  Values values{{"/dev/ttyS0", "COM1"}, {"/dev/ttyUSB0", "COM4"}};
  form.ReadPortValues = [&] { return values; };
  ShowForm(form);
  ASSERT_EQ(form.CommsCB->count(), 2);

  values.push_back({"/dev/odd", "COMx"});
  form.WindowActivated();
  EXPECT_EQ(boxes->shown, QStringList{QStringLiteral("'x' is not a valid integer value")});
  EXPECT_EQ(Items(form.CommsCB), (QStringList{QStringLiteral("COM 1"), QStringLiteral("COM 4")}));
  EXPECT_EQ(form.PortNumbers, (TPortsList{1, 4}));
  EXPECT_TRUE(form.ConnectBUT->isEnabled());
  // Closing the box activates the window again: the same error is not shown again...
  form.WindowActivated();
  form.WindowActivated();
  EXPECT_EQ(boxes->shown.size(), 1);
  // ...until a rebuild has succeeded.
  values.pop_back();
  form.WindowActivated();
  values.push_back({"/dev/odd", "COMx"});
  form.WindowActivated();
  EXPECT_EQ(boxes->shown.size(), 2);
}

// --- Configuration read, interlocks and "APPLY" ---------------------------------------------

struct ConfigCase {
  const char* name;
  uint16_t flags;
  bool trigger3g, ledPeak, metric, percentG, pull;  // checked
  bool metricEnabled, pullEnabled;
  const char* firstLine;
};

class WindowConfigTest : public WindowTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(WindowConfigTest, TheConfigurationReadSetsTheBoxesPullFieldsAndNotes) {
  const ConfigCase& c = GetParam();
  form.Memo1->setPlainText(QStringLiteral("typed over\nBrakes pull left\n\nsee sheet 2"));
  ReadConfig(c.flags);
  EXPECT_EQ(form.Flags12CB->isChecked(), c.trigger3g);
  EXPECT_EQ(form.Flags13CB->isChecked(), c.ledPeak);
  EXPECT_EQ(form.Flags14CB->isChecked(), c.metric);
  EXPECT_EQ(form.Flags15CB->isChecked(), c.percentG);
  EXPECT_EQ(form.Flags17CB->isChecked(), c.pull);
  EXPECT_EQ(form.Flags14CB->isEnabled(), c.metricEnabled);
  EXPECT_EQ(form.Flags17CB->isEnabled(), c.pullEnabled);
  for (QLineEdit* box : {form.T1PullEB, form.T1PullGEB, form.T2PullEB, form.T2PullGEB, form.T3PullEB, form.T3PullGEB})
    EXPECT_EQ(!box->isHidden(), c.pull) << box->objectName().toStdString();
  EXPECT_FALSE(form.PullLAB->isHidden());
  EXPECT_EQ(form.Memo1->toPlainText(),
            QString::fromLatin1(c.firstLine) + QStringLiteral("\nBrakes pull left\n\nsee sheet 2"));
  EXPECT_EQ(form.Session->State().config.flagsWord, c.flags);
  EXPECT_EQ(form.Session->Step, 3) << "the configuration reply leads to the calibration step";
}

INSTANTIATE_TEST_SUITE_P(
    Flags, WindowConfigTest,
    ::testing::Values(
        ConfigCase{"TriggerAndPercentG", 0x2400, true, false, false, true, false, true, false, "3%g start trigger"},
        ConfigCase{"NothingSetForcesMetric", 0x0000, false, false, true, false, false, false, true, "10%g start trigger"},
        ConfigCase{"PullWinsOverTheTrigger", 0x8400, true, false, true, false, true, false, false, "3%g start trigger"},
        ConfigCase{"EverythingSet", 0xFFFF, true, true, true, true, true, true, false, "3%g start trigger"},
        ConfigCase{"PlusDefault", 0xB000, false, false, true, true, true, true, true, "10%g start trigger"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, UncheckingPercentGForcesMetricAndCheckingItFreesIt) {
  ReadConfig(0x2000);  // %g readings, imperial
  ASSERT_FALSE(form.Flags14CB->isChecked());
  form.Flags15CB->click();
  EXPECT_TRUE(form.Flags14CB->isChecked());
  EXPECT_FALSE(form.Flags14CB->isEnabled());
  form.Flags15CB->click();
  EXPECT_TRUE(form.Flags14CB->isChecked());
  EXPECT_TRUE(form.Flags14CB->isEnabled());
}

TEST_F(WindowTest, TheThreePercentTriggerAndPullMeasurementExcludeEachOther) {
  ReadConfig(0xA000);  // pull, %g
  ASSERT_TRUE(form.Flags17CB->isChecked());
  form.Flags12CB->click();
  EXPECT_FALSE(form.Flags17CB->isChecked());
  EXPECT_FALSE(form.Flags17CB->isEnabled());
  form.Flags12CB->click();
  EXPECT_FALSE(form.Flags17CB->isChecked());
  EXPECT_TRUE(form.Flags17CB->isEnabled());
}

TEST_F(WindowTest, ApplyIsEnabledWhileTheBoxesDifferFromTheInstrument) {
  ReadConfig(0x0000);  // metric is forced on: the boxes already differ
  form.CollectConfigFlags();
  EXPECT_EQ(form.NewFlagsWord, 0x1000);
  EXPECT_TRUE(form.ConfigBUT->isEnabled());
  ReadConfig(0x53FF);  // bits the boxes do not own pass through unchanged
  form.CollectConfigFlags();
  EXPECT_EQ(form.NewFlagsWord, 0x53FF);
  EXPECT_FALSE(form.ConfigBUT->isEnabled());
  form.Flags13CB->click();
  form.CollectConfigFlags();
  EXPECT_EQ(form.NewFlagsWord, 0x5BFF);
  EXPECT_TRUE(form.ConfigBUT->isEnabled());
}

TEST_F(WindowTest, ApplyAsksFirstAndQueuesTheEditedFlagsOnlyOnYes) {
  ReadConfig(0xB000);
  form.Flags15CB->click();  // %g off: metric stays checked and becomes disabled
  form.CollectConfigFlags();
  boxes->answerYes = false;
  form.ConfigBUTClick(form.ConfigBUT);
  EXPECT_EQ(boxes->confirms, QStringList{QStringLiteral("Results will be erased, proceed?")});
  EXPECT_FALSE(form.Session->CommandPending);
  EXPECT_TRUE(form.ConfigBUT->isEnabled());
  boxes->answerYes = true;
  form.ConfigBUTClick(form.ConfigBUT);
  EXPECT_TRUE(form.Session->CommandPending);
  EXPECT_EQ(form.Session->PendingCommand, "9140400206419" "9000");
}

TEST_F(WindowTest, ClearQueuesTheConfigurationUnchangedWithoutAsking) {
  form.ClearBUTClick(form.ClearBUT);  // nothing read yet: the default setup bytes, zero words
  EXPECT_EQ(form.Session->PendingCommand, "91404000064190000");
  ReadConfig(0x8C01, 0x00FF);
  form.Flags13CB->click();  // an edit does not go out with CLEAR
  form.ClearBUTClick(form.ClearBUT);
  EXPECT_TRUE(form.Session->CommandPending);
  EXPECT_EQ(form.Session->PendingCommand, "914040" "0FF" "6419" "8C01");
  EXPECT_TRUE(boxes->confirms.isEmpty());
}

TEST_F(WindowTest, SetTimeQueuesThePCsLocalTime) {
  const QDateTime before = QDateTime::currentDateTime();
  form.SetTimBUTClick(form.SetTimBUT);
  const QDateTime after = QDateTime::currentDateTime();
  ASSERT_TRUE(form.Session->CommandPending);
  ASSERT_EQ(form.Session->PendingCommand.size(), 13u);
  ASSERT_EQ(form.Session->PendingCommand[0], 'T');
  const QDateTime sent =
      QDateTime::fromString(QStringLiteral("20") + QString::fromStdString(form.Session->PendingCommand.substr(1)),
                            QStringLiteral("yyyyMMddHHmmss"));
  ASSERT_TRUE(sent.isValid());
  EXPECT_GE(sent.toSecsSinceEpoch(), before.toSecsSinceEpoch() - 1);
  EXPECT_LE(sent.toSecsSinceEpoch(), after.toSecsSinceEpoch());
}

// --- The two views ----------------------------------------------------------------------------

struct ModelCase {
  const char* name;
  bool plus;
  char version;
  bool triggerShown;
};

class WindowViewTest : public WindowTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(WindowViewTest, TheConnectedViewShowsWhatTheModelHas) {
  const ModelCase& c = GetParam();
  ReadModel(form, c.plus, 0x0000);
  if (c.version) TakeReply(form, Frame('6', std::string("270315D07") + c.version));
  form.ShowConnectedView();
  for (QWidget* w : std::initializer_list<QWidget*>{form.ConfigGB, form.CalibGB, form.ResultsGB, form.ConnectedGB,
                                                    form.Test1GB, form.NotesGB, form.Flags13CB, form.Flags15CB,
                                                    form.SpeedLAB, form.StopLAB, form.DistanceLAB})
    EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();
  for (QWidget* w : std::initializer_list<QWidget*>{form.Test2GB, form.Test3GB, form.MainCB, form.T1SpeedEB,
                                                    form.T1StopEB, form.T1DistEB, form.Flags14CB, form.Flags17CB})
    EXPECT_EQ(!w->isHidden(), c.plus) << w->objectName().toStdString();
  EXPECT_EQ(!form.Flags12CB->isHidden(), c.triggerShown);
  EXPECT_EQ(form.TypeLAB->text(), c.plus ? QStringLiteral("dravik+") : QStringLiteral("dravik"));
  EXPECT_EQ(form.Test1GB->title(), c.plus ? QStringLiteral("Test 1") : QString());
  EXPECT_TRUE(form.SetTimBUT->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Models, WindowViewTest,
                         ::testing::Values(ModelCase{"Plain", false, 'd', false}, ModelCase{"PlusVersionD", true, 'd', true},
                                           ModelCase{"PlusVersionB", true, 'b', false},
                                           ModelCase{"PlusVersionC", true, 'c', false},
                                           ModelCase{"PlusNoVersionYet", true, '\0', true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TheConnectedViewNamesTheColumnsAndMarksTheLedValue) {
  ReadModel(form, true);
  form.MainCB->setChecked(true);
  form.ParkingCB->setChecked(true);
  form.Flags13CB->setChecked(true);
  form.ShowConnectedView();
  EXPECT_EQ(form.Test1GB->title(), QStringLiteral("Main brake"));
  EXPECT_EQ(form.Test2GB->title(), QStringLiteral("Test 2"));
  EXPECT_EQ(form.Test3GB->title(), QStringLiteral("Parking"));
  EXPECT_EQ(form.PeakLAB->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form.MeanLAB->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  EXPECT_NE(form.PCtimeLAB->text(), QStringLiteral("12:00:00"));
  EXPECT_EQ(form.PCtimeLAB->text().size(), 8);

  form.MainCB->setChecked(false);
  form.Flags13CB->setChecked(false);
  form.ShowConnectedView();
  EXPECT_EQ(form.Test1GB->title(), QStringLiteral("Test 1"));
  EXPECT_EQ(form.PeakLAB->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  EXPECT_EQ(form.MeanLAB->palette().color(QPalette::WindowText), QColor(255, 0, 0));

  form.ShowDisconnectedView();
  for (QWidget* w : {form.ConfigGB, form.CalibGB, form.ConnectedGB, form.ResultsGB, form.Test1GB, form.Test2GB,
                     form.Test3GB, form.NotesGB})
    EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
  EXPECT_FALSE(form.SetTimBUT->isEnabled());
}

TEST_F(WindowTest, ATimerIntervalChangeRestartsTheTickOnlyWhenItChanges) {
  TTimer timer(nullptr);
  timer.SetInterval(10000);
  timer.SetEnabled(true);
  QTimer* inner = timer.findChild<QTimer*>();
  ASSERT_NE(inner, nullptr);
  ASSERT_TRUE(WaitFor([&] { return inner->remainingTime() < 9950; }));
  timer.SetInterval(10000);
  timer.SetEnabled(true);
  EXPECT_LT(inner->remainingTime(), 9950) << "setting the same interval restarted the timer";
  timer.SetInterval(20000);
  EXPECT_GT(inner->remainingTime(), 10000);
  timer.SetEnabled(false);
  EXPECT_FALSE(inner->isActive());
}

}  // namespace
