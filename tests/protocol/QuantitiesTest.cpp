// The quantities of a test as shown: which tests and boxes the window shows per model and
// configuration, each quantity's text, number and unit for every unit setting, and, over a
// sweep of raw fields, that the number computed from the raw field is the number in the text.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>

#include "protocol/Quantities.h"
#include "protocol/ReplyBuilder.h"
#include "tests/support/SimReadout.h"

namespace {

using protocol::Quantity;

class QuantitiesTest : public ::testing::Test {
protected:
  void SetUp() override { std::setlocale(LC_ALL, "C"); }
};

sim::InstrumentSetup InstrumentOf(bool plus, uint16_t flags) {
  sim::InstrumentSetup s;
  s.featureWord = plus ? 0x0020 : 0x0000;
  s.flagsWord = flags;
  return s;
}

std::string Keys(const std::vector<protocol::ShownQuantity>& shown) {
  std::string keys;
  for (const auto& q : shown) keys += std::string(keys.empty() ? "" : " ") + protocol::QuantityKey(q.quantity);
  return keys;
}

}  // namespace

TEST_F(QuantitiesTest, TheWindowsTestsAndBoxesPerModelAndPullSetting) {
  struct Case {
    bool plus;
    uint16_t flags;
    std::vector<int> tests;
    const char* keys;
  };
  const Case cases[] = {
      {true, 0xB000, {1, 2, 3}, "peak mean speed stop_time distance pull_angle pull_sideways"},
      {true, 0x3000, {1, 2, 3}, "peak mean speed stop_time distance"},
      {false, 0x3000, {1}, "peak mean"},
      {false, 0xB000, {1}, "peak mean pull_angle pull_sideways"},  // pull boxes follow "Measure Pull" alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.plus << " " << std::hex << c.flags);
    const protocol::ReadoutRecord r = RecordOf(InstrumentOf(c.plus, c.flags));
    EXPECT_EQ(protocol::ShownTests(r.state), c.tests);
    EXPECT_EQ(Keys(protocol::ShownQuantitiesOf(r.state, 1)), c.keys);
  }
}

TEST_F(QuantitiesTest, TextNumberAndUnitInEveryUnitSetting) {
  struct Case {
    uint16_t flags;
    int test;
    Quantity q;
    const char* text;
    double value;
    const char* number;
    const char* unit;
  };
  const Case cases[] = {
      {0xB000, 1, Quantity::Peak, "65.0 %g", 65.0, "65.0", "%g"},
      {0xB000, 1, Quantity::StopTime, "2.50 sec", 2.5, "2.50", "sec"},
      {0xB000, 1, Quantity::PullAngle, "Right 5 deg", 5, "5", "deg"},
      {0xB000, 2, Quantity::PullAngle, "Left  3 deg", -3, "-3", "deg"},  // left is negative
      {0xB000, 3, Quantity::PullAngle, "Left  0 deg", 0, "0", "deg"},
      {0xB000, 1, Quantity::PullSideways, "4.4 %g", 4.4, "4.4", "%g"},  // leading spaces go
      {0xA000, 1, Quantity::Distance, "291 feet", 291, "291", "feet"},
      {0x8000, 1, Quantity::Peak, "6.50 m/s/s", 6.5, "6.50", "m/s/s"},
      {0x8000, 1, Quantity::Distance, "29.1 mtr", 29.1, "29.1", "mtr"},  // m/s² forces metric
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.flags << " test " << c.test << " " << c.text);
    const protocol::ReadoutRecord r = RecordOf(InstrumentOf(true, c.flags));
    const protocol::ShownQuantity q = protocol::QuantityOf(r.state.tests[c.test - 1], c.q);
    EXPECT_EQ(q.text, c.text);
    EXPECT_EQ(q.value, c.value);
    EXPECT_EQ(q.number, c.number);
    EXPECT_EQ(q.unit, c.unit);
  }
}

// Every first- and second-half block over a sweep of raw fields, in each unit setting, decoded
// as the window decodes it: the text is the number and the unit, the angle's side its sign.
TEST_F(QuantitiesTest, TheNumberFromTheRawFieldsIsTheNumberInTheText) {
  for (const decoders::ResultUnits units : {decoders::ResultUnits{true, true, true}, {true, false, true},
                                            {false, true, true}}) {
    for (unsigned raw = 0; raw < 0x10000; raw += 97) {
      const unsigned angle = raw & 0xFF;
      protocol::TestState t;
      const std::string first = protocol::ReplyFrame("0123", '8', protocol::FirstHalfData(0x20, raw, 0, angle, raw, raw));
      const std::string second =
          protocol::ReplyFrame("0123", '8', protocol::SecondHalfData(0x28, "2605141032", raw & 0xFF, raw));
      const decoders::ResultBlockView a = decoders::DecodeResultBlock(first, units);
      const decoders::ResultBlockView b = decoders::DecodeResultBlock(second, units);
      t.first = a.first;
      t.second = b.second;
      t.firstUnits = t.secondUnits = units;
      std::tie(t.peak, t.mean, t.stop, t.angle, t.sideways) = std::tie(a.peak, a.mean, a.stop, a.angle, a.sideways);
      std::tie(t.speed, t.distance) = std::tie(b.speed, b.distance);
      for (Quantity kind : protocol::kAllQuantities) {
        const protocol::ShownQuantity q = protocol::QuantityOf(t, kind);
        SCOPED_TRACE(q.text);
        std::string number = q.number;
        if (kind == Quantity::PullAngle) {
          const bool left = q.text.rfind("Left  ", 0) == 0;
          EXPECT_EQ(left, q.value < 0 || (q.value == 0 && angle < 0x80));
          number = (left ? "Left  " : "Right ") + (number[0] == '-' ? number.substr(1) : number);
        }
        EXPECT_EQ(q.text, number + " " + q.unit);
        EXPECT_EQ(std::stod(q.number), q.value);
      }
    }
  }
}
