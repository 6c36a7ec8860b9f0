// The program against dravik-sim with each of the simulator's faults, first while the
// instrument is being read out and then while it is connected: no crash, no message box for
// line noise, and the connected view reached, or regained, once the fault stops.
#include <gtest/gtest.h>

#include "app/DravikPCMain.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/SimProcess.h"

namespace {

struct FaultCase {
  const char* name;
  const char* rule;       // the simulator's fault rule, for every request while it lasts
  bool stopsReadout;      // no read-out completes while the fault lasts
  bool dropsConnection;   // a connected program loses the connected view while it lasts
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.rule; }

class FaultInjection : public ::testing::TestWithParam<FaultCase> {
protected:
  bool Connected() const { return form.ConnectedRB->isChecked() && GroupsShown(form); }

  BoxesInstalled boxes;
  TDravikPCMainForm form;
};

// Long enough for several requests of the read-out and more than one poll while connected.
constexpr int kFaultMs = 3000;
constexpr int kRecoverMs = 20000;

TEST_P(FaultInjection, NoMessageAndTheConnectedViewComesBackWhenTheFaultStops) {
  const FaultCase& c = GetParam();
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << "dravik-sim did not start";
  const QString fault = QStringLiteral("fault ") + QLatin1String(c.rule);
  ASSERT_EQ(sim.Control(fault), QStringLiteral("ok"));

  // During the read-out.
  ShowForm(form);
  ConnectTo(form, sim.Number());
  if (c.stopsReadout) {
    Settle(kFaultMs);
    EXPECT_FALSE(Connected()) << "the fault did not stop the read-out";
  } else {
    EXPECT_TRUE(WaitFor([&] { return Connected(); }, kRecoverMs)) << "the read-out did not get through the fault";
  }
  ASSERT_EQ(sim.Control(QStringLiteral("faults clear")), QStringLiteral("ok"));
  ASSERT_TRUE(WaitFor([&] { return Connected(); }, kRecoverMs)) << "not connected after the fault stopped";

  // While connected.
  ASSERT_EQ(sim.Control(fault), QStringLiteral("ok"));
  if (c.dropsConnection) {
    EXPECT_TRUE(WaitFor([&] { return !Connected(); }, kFaultMs + 2000)) << "the fault did not reach the program";
  } else {
    Settle(kFaultMs);
    EXPECT_TRUE(Connected()) << "a harmless fault dropped the connection";
  }
  ASSERT_EQ(sim.Control(QStringLiteral("faults clear")), QStringLiteral("ok"));
  EXPECT_TRUE(WaitFor([&] { return Connected(); }, kRecoverMs)) << "the connection did not come back";

  EXPECT_TRUE(boxes->shown.isEmpty()) << boxes->shown.join(QStringLiteral(" | ")).toStdString();
  EXPECT_TRUE(boxes->confirms.isEmpty());
  EXPECT_GT(sim.State()[QStringLiteral("requests")].toInt(), 11);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultInjection,
    ::testing::Values(FaultCase{"NoReply", "noreply", true, true},
                      FaultCase{"WrongChecksum", "checksum", true, true},
                      FaultCase{"LowerCaseChecksum", "lowercase", true, true},
                      FaultCase{"WrongAddress", "address", true, true},
                      FaultCase{"GarbageBeforeTheFrame", "garbage", false, false},
                      FaultCase{"SplitWith50msGaps", "split=4/50", false, false},
                      FaultCase{"EndlessFrame", "endless", true, true},
                      // A valid reply of a type nobody asked for: the read-out repeats its
                      // request; a poll answered that way still counts as answered.
                      FaultCase{"UnknownType", "type", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
