// The instrument's state over whole read-outs: the simulator's replies to the read-out table's
// requests, taken in order, give the values and texts the window shows; a read-out is complete
// only when every step's reply was taken; units follow the flags word as read.
#include <gtest/gtest.h>

#include <clocale>

#include "protocol/InstrumentState.h"
#include "protocol/Protocol.h"
#include "protocol/ReplyBuilder.h"
#include "sim/Instrument.h"
#include "tests/support/SimReadout.h"

namespace {

using protocol::InstrumentState;

class InstrumentStateTest : public ::testing::Test {
protected:
  void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(InstrumentStateTest, AReadOutOfThePlusInstrumentFillsEveryPart) {
  InstrumentState s;
  ASSERT_TRUE(ReadOut(s, {}));
  EXPECT_TRUE(s.complete);
  EXPECT_EQ(s.completedAtUtcMs, 1'700'000'000'000);
  EXPECT_EQ(s.validParts, protocol::kAllReadoutParts);
  EXPECT_EQ(s.serial, "0123");
  EXPECT_TRUE(s.plusModel());
  EXPECT_EQ(s.tempText, " 25.0 C");
  EXPECT_EQ(s.battText, " 9.0 V");
  EXPECT_EQ(s.config.flagsWord, 0xB000);
  EXPECT_EQ(s.calibration.versionChar, 'd');
  EXPECT_EQ(s.calibrationDate, "270315");
  EXPECT_EQ(s.serviceCentre, "D07");
  EXPECT_EQ(s.calibration.calibText, "Calibrate before:  15-03-27");
  const protocol::TestState& t1 = s.tests[0];
  EXPECT_EQ(t1.peak, "65.0 %g");
  EXPECT_EQ(t1.mean, "50.0 %g");
  EXPECT_EQ(t1.angle, "Right 5 deg");
  EXPECT_EQ(t1.stop, "2.50 sec");
  EXPECT_EQ(t1.speed, "30 kph");
  EXPECT_EQ(t1.distance, "29.1 mtr");
  EXPECT_EQ(t1.date, "10:32 14-05-26");
  EXPECT_EQ(t1.first.peak, 650u);
  EXPECT_EQ(t1.second.stamp, "2605141032");
  EXPECT_EQ(s.tests[2].peak, "24.0 %g");
  for (const std::string& frame : s.frames) EXPECT_FALSE(frame.empty());
}

TEST_F(InstrumentStateTest, UnitsFollowTheFlagsWordAsRead) {
  sim::InstrumentSetup imperial;
  imperial.flagsWord = 0x0000;  // m/s² readings force metric units
  InstrumentState s;
  ASSERT_TRUE(ReadOut(s, imperial));
  EXPECT_EQ(s.tests[0].peak, "6.50 m/s/s");
  EXPECT_EQ(s.tests[0].speed, "30 kph");
  EXPECT_EQ(s.tests[0].angle, " ");  // no pull measured
  EXPECT_EQ(s.UnitsAsRead(), (decoders::ResultUnits{false, true, false}));

  imperial.flagsWord = 0x2000;  // %g readings, imperial
  ASSERT_TRUE(ReadOut(s, imperial));
  EXPECT_EQ(s.tests[0].speed, "30 mph");
  EXPECT_EQ(s.tests[0].distance, "291 feet");
  // Before any configuration has been read, blocks are decoded with every flag off.
  EXPECT_EQ(InstrumentState().UnitsAsRead(), decoders::ResultUnits{});
}

TEST_F(InstrumentStateTest, AReadOutWithAStepMissingIsNotComplete) {
  InstrumentState s;
  ASSERT_TRUE(ReadOut(s, {}));
  // The next read-out starts afresh: values stay, what it has taken does not.
  EXPECT_FALSE(ReadOut(s, {}, 3));
  EXPECT_FALSE(s.complete);
  EXPECT_FALSE(s.completedAtUtcMs);
  EXPECT_TRUE(s.frames[3].empty());
  EXPECT_EQ(s.calibration.versionChar, 'd') << "the last values stay";
}

TEST_F(InstrumentStateTest, APollWhileConnectedUpdatesTheStatusOnly) {
  InstrumentState s;
  ASSERT_TRUE(ReadOut(s, {}));
  const std::string poll = protocol::ReplyFrame("0123", '0', protocol::StatusData(0x10, 0x20));
  const protocol::AppliedReply applied = protocol::ApplyReply(s, poll, true);
  EXPECT_EQ(applied.part, protocol::StatePart::Status);
  EXPECT_EQ(applied.move.kind, decoders::StepMove::Unchanged);
  EXPECT_EQ(s.tempRaw, 0x10);
  EXPECT_NE(s.frames[1], poll) << "the read-out's own status reply is kept";
  EXPECT_TRUE(s.complete);
}

}  // namespace
