// The simulated instrument's model: every command as the wire protocol lays it out, what it
// ignores, configuration writes, the clock, and request framing.
#include <gtest/gtest.h>

#include "protocol/Decoders.h"
#include "protocol/Protocol.h"
#include "sim/Instrument.h"
#include "sim/RequestFramer.h"

namespace {

using sim::CivilTime;
using sim::Instrument;
using sim::InstrumentSetup;

const CivilTime kClock{2026, 12, 8, 14, 30, 5};  // a Tuesday

std::string Req(const std::string& address, const std::string& body) {
  std::string r = protocol::BuildRequest(address, body);
  r.pop_back();  // the framer hands requests over without their carriage return
  return r;
}

class SimInstrument : public ::testing::Test {
protected:
  SimInstrument() : instrument(MakeSetup(), kClock, 0) {}
  static InstrumentSetup MakeSetup() {
    InstrumentSetup s;
    s.clock = kClock;
    return s;
  }
  std::string Ask(const std::string& address, const std::string& body, int64_t nowMs = 0) {
    const auto a = instrument.Handle(Req(address, body), nowMs);
    return a ? a->reply : std::string("<ignored>");
  }
  Instrument instrument;
};

TEST_F(SimInstrument, AnswersEveryCommand) {
  struct Row {
    const char* address;
    std::string body;
    const char* reply;  // without the carriage return
  };
  const Row rows[] = {
      {"####", "Q", ":R####Q0123C6"},
      {"0123", "Q", ":R0123Q0123C6"},
      {"0123", "0", ":R0123086E1E4"},
      {"0123", "1", ":R01231140400206419B00031"},
      {"0123", "6", ":R01236270315D07d41"},
      {"0123", "ST", ":R0123S2026120802143005" "24"},
      {"0123", "820", ":R01238" "2000FA008501F4028A" "CC"},
      {"0123", "828", ":R01238" "282605141032" "1E0123" "9E"},
      {"0123", "848", ":R01238" "482605141041" "1400AB" "AC"},
      {"0123", "850", ":R01238" "500000000000000000" "65"},  // no such block: zeros
  };
  for (const Row& r : rows) {
    const std::string reply = Ask(r.address, r.body);
    EXPECT_EQ(reply, std::string(r.reply) + "\r") << r.body;
    std::string frame = reply;
    frame.pop_back();
    EXPECT_TRUE(protocol::CheckReply(frame, r.address)) << r.body;
  }
}

TEST_F(SimInstrument, IgnoresWhatARealOneWould) {
  const std::string bad[] = {
      "!g012305E",                      // wrong checksum
      "!g012405E",                      // another instrument (checksum right for its address)
      Req("####", "0"),                 // only the identity query goes to ####
      Req("0123", "X"),                 // unknown command
      Req("0123", "9123"),              // short configuration write
      Req("0123", "9ZZ0400206419B000"), // not hexadecimal
      Req("0123", "T261332000000"),     // month 13
      Req("0123", "T2612081430"),       // short clock
      "?g012305D", "!g0123", "",
  };
  for (const std::string& r : bad) EXPECT_FALSE(instrument.Handle(r, 0).has_value()) << r;
  EXPECT_EQ(instrument.requestsAnswered(), 0);
  // Lower-case checksum digits in a request are still the right number.
  EXPECT_TRUE(instrument.Handle("!g0123STd4", 0).has_value());
}

TEST_F(SimInstrument, ConfigurationWriteErasesResults) {
  EXPECT_EQ(Ask("0123", "9AB0100DF77882400"), ":R01239" "00\r");
  const InstrumentSetup& s = instrument.setup();
  EXPECT_EQ(s.flagsWord, 0x2400);
  EXPECT_EQ(s.featureWord, 0x00DF);
  EXPECT_EQ(s.setup, (std::array<uint8_t, 4>{0xAB, 0x01, 0x77, 0x88}));
  for (const sim::TestRecord& t : s.tests) EXPECT_EQ(t, sim::kErasedTest);
  EXPECT_EQ(Ask("0123", "1"), ":R01231AB0100DF77882400" "72\r");
  // An erased first half is all zeros; its second half decodes to a zero date.
  EXPECT_EQ(Ask("0123", "820"), ":R01238" "200000000000000000" "62\r");
  std::string second = Ask("0123", "828");
  second.pop_back();
  EXPECT_EQ(decoders::DecodeResultBlock(second, {true, true, true}).date, "00:00 00-00-00");
}

TEST_F(SimInstrument, ClockRunsOnFromItsSetValue) {
  EXPECT_EQ(sim::FormatClock(instrument.ClockAt(0)), "261208143005");
  EXPECT_EQ(sim::FormatClock(instrument.ClockAt(61'999)), "261208143106");
  EXPECT_EQ(Ask("0123", "T051231235958", 10'000), ":R0123T00\r");
  EXPECT_EQ(sim::FormatClock(instrument.ClockAt(13'000)), "060101000001") << "over the year end";
  std::string reply = Ask("0123", "ST", 13'000);
  reply.pop_back();
  EXPECT_EQ(decoders::DecodeClockReply(reply), "00:00 01-01-06");
}

TEST(SimClock, ParseAndArithmetic) {
  EXPECT_EQ(sim::ParseClock("240229120000"), (CivilTime{2024, 2, 29, 12, 0, 0}));
  EXPECT_FALSE(sim::ParseClock("230229120000")) << "no 29 February in 2023";
  EXPECT_FALSE(sim::ParseClock("2402291200")) << "too short";
  EXPECT_FALSE(sim::ParseClock("24022912000x"));
  EXPECT_FALSE(sim::ParseClock("240229240000"));
  EXPECT_EQ(sim::FormatClock(sim::AddSeconds({2024, 2, 28, 23, 59, 59}, 1)), "240229000000");
}

TEST(SimInstrumentDefaults, ReadOutDecodesToAFullWindow) {
  // The default instrument: a plus model with three tests, pull measured, %g and metric units.
  Instrument instrument(InstrumentSetup{}, kClock, 0);
  const auto ask = [&](const std::string& address, const std::string& body) {
    std::string r = instrument.Handle(Req(address, body), 0).value().reply;
    r.pop_back();
    return r;
  };
  const std::string serial = decoders::DecodeSerialReply(ask("####", "Q"));
  const protocol::ConfigBlock block = decoders::DecodeConfigReply(ask(serial, "1"));
  const decoders::ConfigView view = decoders::ShowConfigFlags(block.flagsWord, block.featureWord);
  EXPECT_TRUE(view.plusModel);
  EXPECT_TRUE(view.pullFieldsVisible);
  EXPECT_FALSE(decoders::CollectConfigFlags(block.flagsWord, view.boxes).applyEnabled);
  EXPECT_TRUE(decoders::Flags12Visible(view.plusModel, decoders::DecodeCalibrationReply(ask(serial, "6")).versionChar));
  const decoders::ResultUnits units{view.boxes.flags15, view.boxes.flags14, view.boxes.flags17};
  const auto first = decoders::DecodeResultBlock(ask(serial, "820"), units);
  EXPECT_EQ(first.peak, "65.0 %g");
  EXPECT_EQ(first.angle, "Right 5 deg");
  for (unsigned aa : {0x28u, 0x30u, 0x38u, 0x40u, 0x48u}) {
    const auto v = decoders::DecodeResultBlock(ask(serial, protocol::ResultBlockCommand(aa)), units);
    EXPECT_NE(v.test, 0);
    EXPECT_FALSE((v.half == decoders::BlockHalf::First ? v.mean : v.distance).empty());
  }
}

TEST(RequestFramer, CutsFramesFromTheStream) {
  sim::RequestFramer framer;
  EXPECT_TRUE(framer.Feed("noise\r\n!g####").empty());
  EXPECT_EQ(framer.Feed("Q44\r\n!g012305D\r"), (std::vector<std::string>{"!g####Q44", "!g012305D"}));
  EXPECT_EQ(framer.Feed("!g01!g012315E\r"), (std::vector<std::string>{"!g012315E"})) << "a new '!' restarts";
  EXPECT_TRUE(framer.Feed("!" + std::string(100, 'x') + "\r").empty()) << "too long: dropped";
  EXPECT_EQ(framer.Feed("!g0123663\r"), (std::vector<std::string>{"!g0123663"}));
}

}  // namespace
