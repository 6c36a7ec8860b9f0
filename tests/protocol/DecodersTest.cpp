// Reply decoders, configuration check-box rules and read-out step moves.
#include <gtest/gtest.h>

#include <clocale>

#include "protocol/Decoders.h"
#include "protocol/ReplyBuilder.h"

namespace {

using namespace decoders;
using protocol::Hex;

std::string Frame(char type, const std::string& data) { return protocol::ReplyFrame("0123", type, data); }

std::string FirstHalf(unsigned aa, unsigned stop, unsigned angle, unsigned mean, unsigned peak) {
  return Frame('8', protocol::FirstHalfData(aa, stop, 0, angle, mean, peak));
}

std::string SecondHalf(unsigned aa, const std::string& yymmddhhmm, unsigned speed, unsigned distance) {
  return Frame('8', protocol::SecondHalfData(aa, yymmddhhmm, speed, distance));
}

class DecodersTest : public ::testing::Test {
protected:
  void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(DecodersTest, SerialAndStatus) {
  EXPECT_EQ(DecodeSerialReply(Frame('Q', "4711")), "4711");
  StatusView s = DecodeStatusReply(Frame('0', "86E1"));
  EXPECT_EQ(s.tempRaw, 0x86);
  EXPECT_EQ(s.battRaw, 0xE1);
  EXPECT_EQ(s.tempText, " 25.0 C");
  EXPECT_EQ(s.battText, " 9.0 V");
  s = DecodeStatusReply(Frame('0', "0000"));
  EXPECT_EQ(s.tempText, " -42.0 C");
  EXPECT_EQ(s.battText, " 0.0 V");
  s = DecodeStatusReply(Frame('0', "G1ff"));  // malformed temperature; lower-case battery
  EXPECT_EQ(s.tempText, " -42.0 C");
  EXPECT_EQ(s.battText, " 10.2 V");
}

TEST_F(DecodersTest, ConfigBlockFields) {
  const protocol::ConfigBlock b = DecodeConfigReply(Frame('1', "14040020641924A3"));
  EXPECT_EQ(b.setupByte1, 0x14);
  EXPECT_EQ(b.setupByte2, 0x04);
  EXPECT_EQ(b.featureWord, 0x0020);
  EXPECT_EQ(b.setupByte3, 0x64);
  EXPECT_EQ(b.setupByte4, 0x19);
  EXPECT_EQ(b.flagsWord, 0x24A3);
  // Read back and written again, the block is unchanged.
  EXPECT_EQ(protocol::ConfigWriteCommand(b, b.flagsWord), "914040020641924A3");
}

struct FlagsCase {
  uint16_t flags;
  FlagBoxes boxes;  // expected
  bool pullVisible;
  const char* firstLine;
};

void PrintTo(const FlagsCase& c, std::ostream* os) { *os << "flags 0x" << std::hex << c.flags; }

class ShowConfigFlagsTest : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(ShowConfigFlagsTest, BoxesFollowTheWord) {
  const FlagsCase& c = GetParam();
  const ConfigView v = ShowConfigFlags(c.flags, 0);
  EXPECT_EQ(v.boxes, c.boxes) << std::hex << c.flags;
  EXPECT_EQ(v.pullFieldsVisible, c.pullVisible);
  EXPECT_EQ(v.notesFirstLine, c.firstLine);
}

// FlagBoxes field order: 12, 13, 14, 15, 17 checked; 14 enabled, 17 enabled.
INSTANTIATE_TEST_SUITE_P(
    Words, ShowConfigFlagsTest,
    ::testing::Values(
        // "3%g trigger" and "%g readings": metric enabled and unchecked, pull disabled.
        FlagsCase{0x2400, {true, false, false, true, false, true, false}, false, "3%g start trigger"},
        // "%g readings" clear forces "Metric Units" checked and disabled.
        FlagsCase{0x0000, {false, false, true, false, false, false, true}, false, "10%g start trigger"},
        // Bit 15 decides "Measure Pull" even with bit 10: checked and disabled.
        FlagsCase{0x8400, {true, false, true, false, true, false, false}, true, "3%g start trigger"},
        FlagsCase{0xB800, {false, true, true, true, true, true, true}, true, "10%g start trigger"},
        FlagsCase{0x43FF, {false, false, true, false, false, false, true}, false, "10%g start trigger"}));

TEST_F(DecodersTest, PlusModelIsFeatureBit5) {
  EXPECT_TRUE(ShowConfigFlags(0, 0x0020).plusModel);
  EXPECT_FALSE(ShowConfigFlags(0, 0x00DF).plusModel);
  EXPECT_TRUE(Flags12Visible(true, 'd'));
  EXPECT_FALSE(Flags12Visible(true, 'b'));
  EXPECT_FALSE(Flags12Visible(true, 'c'));
  EXPECT_FALSE(Flags12Visible(false, 'd'));
}

TEST_F(DecodersTest, CollectConfigFlags) {
  // An untouched 0x0000 read enables "APPLY" through the forced metric rule.
  CollectedFlags c = CollectConfigFlags(0x0000, ShowConfigFlags(0x0000, 0).boxes);
  EXPECT_EQ(c.newFlagsWord, 0x1000);
  EXPECT_TRUE(c.applyEnabled);
  c = CollectConfigFlags(0x2400, ShowConfigFlags(0x2400, 0).boxes);
  EXPECT_EQ(c.newFlagsWord, 0x2400);
  EXPECT_FALSE(c.applyEnabled);
  // Bits 0-9 and 14 survive an edit; the box bits follow the boxes.
  FlagBoxes boxes = ShowConfigFlags(0x7FFF, 0).boxes;
  boxes.flags13 = false;
  c = CollectConfigFlags(0x7FFF, boxes);
  EXPECT_EQ(c.newFlagsWord, 0x77FF);
  EXPECT_TRUE(c.applyEnabled);
  boxes = FlagBoxes{true, true, true, true, true, true, true};
  EXPECT_EQ(CollectConfigFlags(0x0000, boxes).newFlagsWord, 0xBC00);
}

TEST_F(DecodersTest, ClickInterlocks) {
  FlagBoxes b = ShowConfigFlags(0xB000, 0).boxes;  // pull on, %g on, metric on
  b.flags12 = true;
  b = Flags12CBClick(b);
  EXPECT_FALSE(b.flags17);
  EXPECT_FALSE(b.flags17Enabled);
  b.flags12 = false;
  b = Flags12CBClick(b);
  EXPECT_TRUE(b.flags17Enabled);
  EXPECT_FALSE(b.flags17) << "unchecking the trigger does not bring pull back";

  b.flags14 = false;
  b.flags15 = false;
  b = Flags15CBClick(b);
  EXPECT_TRUE(b.flags14);
  EXPECT_FALSE(b.flags14Enabled);
  b.flags15 = true;
  b = Flags15CBClick(b);
  EXPECT_TRUE(b.flags14Enabled);
  EXPECT_TRUE(b.flags14);
}

TEST_F(DecodersTest, CalibrationAndClock) {
  CalibrationView v = DecodeCalibrationReply(Frame('6', "270315D07d"));
  EXPECT_EQ(v.versionChar, 'd');
  EXPECT_EQ(v.versionText, "Software Version: d");
  EXPECT_EQ(v.calibText, "Calibrate before:  15-03-27");
  EXPECT_EQ(v.byWhoText, "Service Centre ID: D07");
  // Without position 17 the version is 'c'.
  v = DecodeCalibrationReply(":x01236270315D07");
  EXPECT_EQ(v.versionChar, 'c');
  EXPECT_EQ(v.versionText, "Software Version: c");
  EXPECT_EQ(v.byWhoText, "Service Centre ID: D07");

  EXPECT_EQ(DecodeClockReply(Frame('S', "20050312061215")), "12:15 12-03-05");
}

struct FirstHalfCase {
  unsigned angle, mean, peak, stop;
  ResultUnits units;
  const char* peakText;
  const char* meanText;
  const char* sideways;
  const char* angleText;
  const char* stopText;
};

void PrintTo(const FirstHalfCase& c, std::ostream* os) {
  *os << c.peakText << " " << c.meanText << " " << c.angleText << (c.units.measurePull ? "" : " no pull");
}

class FirstHalfTest : public ::testing::TestWithParam<FirstHalfCase> {};

TEST_P(FirstHalfTest, Texts) {
  std::setlocale(LC_ALL, "C");
  const FirstHalfCase& c = GetParam();
  const ResultBlockView v = DecodeResultBlock(FirstHalf(0x20, c.stop, c.angle, c.mean, c.peak), c.units);
  EXPECT_EQ(v.half, BlockHalf::First);
  EXPECT_EQ(v.peak, c.peakText);
  EXPECT_EQ(v.mean, c.meanText);
  EXPECT_EQ(v.sideways, c.sideways);
  EXPECT_EQ(v.angle, c.angleText);
  EXPECT_EQ(v.stop, c.stopText);
  EXPECT_TRUE(v.speed.empty() && v.distance.empty() && v.date.empty()) << "a first half never touches these";
}

constexpr ResultUnits kPercentPull{true, true, true};
constexpr ResultUnits kMetricPull{false, true, true};
constexpr ResultUnits kPercentNoPull{true, true, false};

INSTANTIATE_TEST_SUITE_P(
    Blocks, FirstHalfTest,
    ::testing::Values(
        FirstHalfCase{30, 500, 0x028A, 0x00FA, kPercentPull, "65.0 %g", "50.0 %g", "   25.0 %g", "Left  30 deg",
                      "2.50 sec"},
        FirstHalfCase{30, 500, 0x028A, 0x00FA, kMetricPull, "6.50 m/s/s", "5.00 m/s/s", " 2.5 m/s/s", "Left  30 deg",
                      "2.50 sec"},
        FirstHalfCase{0x85, 0, 0, 0, kPercentPull, "0.0 %g", "0.0 %g", "   0.0 %g", "Right 5 deg", "0.00 sec"},
        FirstHalfCase{0x80, 100, 0, 0, kPercentPull, "0.0 %g", "10.0 %g", "   0.0 %g", "Right 0 deg", "0.00 sec"},
        FirstHalfCase{0x7F, 0, 0, 0, kMetricPull, "0.00 m/s/s", "0.00 m/s/s", " 0.0 m/s/s", "Left  127 deg",
                      "0.00 sec"},
        // Without "Measure Pull" the angle box holds a single space.
        FirstHalfCase{0x85, 500, 0x028A, 0x00FA, kPercentNoPull, "65.0 %g", "50.0 %g", "   4.4 %g", " ",
                      "2.50 sec"}));

TEST_F(DecodersTest, SecondHalfTexts) {
  const std::string frame = SecondHalf(0x38, "2605141032", 0x1E, 0x0123);
  ResultBlockView v = DecodeResultBlock(frame, {true, true, true});
  EXPECT_EQ(v.half, BlockHalf::Second);
  EXPECT_EQ(v.test, 2);
  EXPECT_EQ(v.speed, "30 kph");
  EXPECT_EQ(v.distance, "29.1 mtr");
  EXPECT_EQ(v.date, "10:32 14-05-26");
  EXPECT_TRUE(v.peak.empty() && v.mean.empty() && v.sideways.empty() && v.angle.empty() && v.stop.empty());
  v = DecodeResultBlock(frame, {true, false, true});
  EXPECT_EQ(v.speed, "30 mph");
  EXPECT_EQ(v.distance, "291 feet");
}

TEST_F(DecodersTest, BlockAddressesAndSteps) {
  struct Row {
    unsigned aa;
    int test;
    BlockHalf half;
    std::optional<int> step;
    bool complete;
  };
  const Row rows[] = {{0x20, 1, BlockHalf::First, 6, false},  {0x28, 1, BlockHalf::Second, 7, false},
                      {0x30, 2, BlockHalf::First, 8, false},  {0x38, 2, BlockHalf::Second, 9, false},
                      {0x40, 3, BlockHalf::First, 10, false}, {0x48, 3, BlockHalf::Second, 11, true},
                      {0x50, 0, BlockHalf::Unknown, std::nullopt, false}};
  for (const Row& r : rows) {
    const std::string frame = SecondHalf(r.aa, "2605141032", 1, 1);
    const ResultBlockView v = DecodeResultBlock(frame, {});
    EXPECT_EQ(v.test, r.test) << std::hex << r.aa;
    EXPECT_EQ(v.half, r.half) << std::hex << r.aa;
    const StepMove m = StepAfterReply(frame, false);
    EXPECT_EQ(m.kind, r.step ? StepMove::SetStep : StepMove::Unchanged);
    EXPECT_EQ(m.step, r.step.value_or(0));
    EXPECT_EQ(m.checkConnected, r.complete);
  }
  // An unknown block changes nothing: no texts at all.
  const ResultBlockView v = DecodeResultBlock(FirstHalf(0x21, 1, 1, 1, 1), {true, true, true});
  EXPECT_TRUE(v.peak.empty() && v.speed.empty() && v.date.empty() && v.angle.empty());
}

TEST_F(DecodersTest, StepMovesByReplyType) {
  struct Row {
    std::string frame;
    bool connected;
    StepMove::Kind kind;
    int step;
  };
  const Row rows[] = {
      {Frame('Q', "0123"), false, StepMove::SetStep, 1}, {Frame('0', "86E1"), false, StepMove::SetStep, 2},
      {Frame('0', "86E1"), true, StepMove::Unchanged, 0}, {Frame('1', ""), true, StepMove::SetStep, 3},
      {Frame('6', ""), false, StepMove::SetStep, 4},     {Frame('S', ""), false, StepMove::SetStep, 5},
      {Frame('9', ""), true, StepMove::RestartReadout, 0}, {Frame('T', ""), true, StepMove::RestartReadout, 0},
      {Frame('Z', ""), false, StepMove::Unchanged, 0},
  };
  for (const Row& r : rows) {
    const StepMove m = StepAfterReply(r.frame, r.connected);
    EXPECT_EQ(m.kind, r.kind) << r.frame;
    EXPECT_EQ(m.step, r.step) << r.frame;
    EXPECT_EQ(m.setInterval100, r.frame[6] == 'Q') << r.frame;
  }
}

}  // namespace
