// InstrumentSession on a QCoreApplication, without a window, against dravik-sim over a real pty:
// connect, the complete read-out, "CLEAR" and the read-out after it, for the default plus
// instrument and a plain one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <clocale>

#include "session/InstrumentSession.h"
#include "tests/support/ErrorCapture.h"
#include "tests/support/QtTestEnvironment.h"
#include "tests/support/SimProcess.h"
#include "tests/support/Waits.h"

namespace {

::testing::Environment* const environment = RegisterQtTestEnvironment<QCoreApplication>([] {
  std::setlocale(LC_ALL, "C");
  CaptureShownErrors();
});

// Records what the session tells its front end.
struct Recorder : SessionListener {
  void ReadoutCompleted() override { ++completed; }
  void OperationFailed(const SessionFailure& failure) override { failures.push_back(failure.message); }
  int completed = 0;
  std::vector<std::string> failures;
};

class SessionTest : public ::testing::Test {
protected:
  void Connect(SimProcess& sim) {
    ASSERT_GT(sim.Number(), 0) << sim.Error();
    session.AddListener(&recorder);
    ASSERT_TRUE(session.Connect(static_cast<uint16_t>(sim.Number())));
    ASSERT_TRUE(WaitFor([&] { return recorder.completed == 1; })) << "no complete read-out, step " << session.Step;
  }
  void TearDown() override {
    session.Close();
    EXPECT_TRUE(recorder.failures.empty()) << recorder.failures.front();
    EXPECT_TRUE(TakeShownErrors().empty());
  }

  InstrumentSession session;
  Recorder recorder;
};

TEST_F(SessionTest, ReadsThePlusInstrumentClearsItAndReadsItAgain) {
  SimProcess sim;
  Connect(sim);
  const protocol::InstrumentState& s = session.State();
  EXPECT_TRUE(session.Connected());
  EXPECT_TRUE(s.complete);
  EXPECT_TRUE(s.completedAtUtcMs.has_value());
  EXPECT_EQ(s.serial, "0123");
  EXPECT_TRUE(s.plusModel());
  EXPECT_EQ(s.calibration.versionText, "Software Version: d");
  EXPECT_EQ(s.battText, " 9.0 V");
  EXPECT_EQ(s.tests[0].peak, "65.0 %g");
  EXPECT_EQ(s.tests[1].stop, "4.00 sec");
  EXPECT_EQ(s.tests[2].distance, "17.1 mtr");

  // "CLEAR" writes the configuration unchanged; its reply restarts the read-out, which reads
  // what the instrument now holds.
  session.ClearResults();
  ASSERT_TRUE(WaitFor([&] { return recorder.completed == 2; }));
  EXPECT_EQ(sim.State()[QStringLiteral("flags")].toInt(), 0xB000);
  for (const protocol::TestState& t : s.tests) {
    EXPECT_EQ(t.peak, "0.0 %g");
    EXPECT_EQ(t.date, "00:00 00-00-00");
  }
}

TEST_F(SessionTest, ReadsAPlainImperialInstrument) {
  SimProcess sim({QStringLiteral("--config"), QStringLiteral(DRAVIK_SIM_INSTRUMENTS "/plain-imperial.json")});
  Connect(sim);
  const protocol::InstrumentState& s = session.State();
  EXPECT_EQ(s.serial, "0042");
  EXPECT_FALSE(s.plusModel());
  EXPECT_EQ(s.calibration.versionChar, 'b');
  EXPECT_EQ(s.tests[0].peak, "61.0 %g");
  EXPECT_EQ(s.tests[0].speed, "25 mph");
  EXPECT_EQ(s.tests[0].distance, "96 feet");
}

TEST_F(SessionTest, APortThatDoesNotOpenIsToldToTheListenersAndNothingElse) {
  session.AddListener(&recorder);
  EXPECT_FALSE(session.Connect(250));  // no such port in the test's device map
  ASSERT_EQ(recorder.failures.size(), 1u);
  EXPECT_EQ(recorder.failures[0], kOpeningFailed);
  EXPECT_FALSE(session.Timer1->Enabled());
  recorder.failures.clear();
}

TEST_F(SessionTest, AnEraseThatBeforeEraseRefusesQueuesNothing) {
  session.AddListener(&recorder);
  session.BeforeErase = [](std::string& reason) {
    reason = "disk full";
    return false;
  };
  EXPECT_FALSE(session.ClearResults());
  EXPECT_FALSE(session.ApplyFlags(0x1000));
  EXPECT_FALSE(session.CommandPending);
  EXPECT_EQ(recorder.failures, (std::vector<std::string>(2, kEraseRefused)));
  session.BeforeErase = [](std::string&) { return true; };
  EXPECT_TRUE(session.ClearResults());
  EXPECT_TRUE(session.CommandPending);
  recorder.failures.clear();
}

}  // namespace
