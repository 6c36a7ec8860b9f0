// Request frames, reply checks and field access of the instrument protocol.
#include <gtest/gtest.h>

#include <cctype>

#include "protocol/Protocol.h"
#include "protocol/ReplyBuilder.h"

namespace {

using namespace protocol;

// A reply frame (without carriage return) with a correct checksum over its data.
std::string Reply(const std::string& address, char type, const std::string& data) {
  return ReplyFrame(address, type, data);
}

struct RequestCase {
  const char* address;
  std::string body;
  const char* frame;  // without the carriage return
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.address << " " << c.body << " gives " << c.frame; }

class RequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestTest, BuildsTheWorkedFrame) {
  const RequestCase& c = GetParam();
  EXPECT_EQ(BuildRequest(c.address, c.body), std::string(c.frame) + "\r");
}

INSTANTIATE_TEST_SUITE_P(WorkedRequests, RequestTest,
                         ::testing::Values(RequestCase{"####", kCmdIdentity, "!g####Q44"},
                                           RequestCase{"0123", kCmdStatus, "!g012305D"},
                                           RequestCase{"0123", kCmdConfig, "!g012315E"},
                                           RequestCase{"0123", kCmdCalibration, "!g0123663"},
                                           RequestCase{"0123", kCmdClock, "!g0123STD4"},
                                           RequestCase{"0123", ResultBlockCommand(0x20), "!g0123820C7"},
                                           RequestCase{"0123", ResultBlockCommand(0x48), "!g0123848D1"},
                                           // Only the first four characters address the instrument.
                                           RequestCase{"0123 extra", kCmdStatus, "!g012305D"}));

TEST(Request, ChecksumCarriesALeadingZero) {
  // 'g' + "0000" + "t" = 0x67 + 4 * 0x30 + 0x74 = 0x19B: modulo 256.
  EXPECT_EQ(RequestChecksum("0000", "t"), 0x9Bu);
  EXPECT_EQ(Hex(0x05, 2), "05");
  EXPECT_EQ(Hex(0x1234, 2), "34");
}

TEST(Request, ConfigAndClockBodies) {
  ConfigBlock block;  // not yet read: setup bytes 20, 4, 100, 25 and zero words
  EXPECT_EQ(ConfigWriteCommand(block, 0), "9140400006419" "0000");
  block = {0xAB, 0x01, 0x0020, 0xFF, 0x00, 0x2400};
  const std::string body = ConfigWriteCommand(block, 0xB3C1);
  EXPECT_EQ(body, "9AB010020FF00B3C1");
  EXPECT_EQ(BuildRequest("0123", body).size(), 26u);

  std::tm t{};
  t.tm_year = 105;
  t.tm_mon = 2;
  t.tm_mday = 12;
  t.tm_hour = 9;
  t.tm_min = 15;
  t.tm_sec = 7;
  EXPECT_EQ(ClockSetCommand(t), "T050312091507");
  EXPECT_EQ(BuildRequest("0123", ClockSetCommand(t)).size(), 22u);
}

TEST(Reply, WorkedStatusReply) {
  const std::string frame = ":x012308" "6E1E4";
  EXPECT_EQ(ReplyChecksum(frame), 0xE4u);
  EXPECT_TRUE(CheckReply(frame, "0123"));
  EXPECT_EQ(ReplyType(frame), '0');
  EXPECT_EQ(ByteAt(frame, 8), 0x86u);
  EXPECT_EQ(ByteAt(frame, 10), 0xE1u);
}

TEST(Reply, ChecksRejectWhatTheyShould) {
  const std::string good = ":x0123086E1E4";  // the checksum has a letter digit
  ASSERT_TRUE(CheckReply(good, "0123"));
  std::string lower = good;
  for (auto i = lower.size() - 2; i < lower.size(); ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
  ASSERT_NE(lower, good);
  EXPECT_FALSE(CheckReply(lower, "0123")) << "lower-case checksum digits fail";
  EXPECT_FALSE(CheckReply("!" + good.substr(1), "0123")) << "must start with ':'";
  EXPECT_FALSE(CheckReply(good, "0124")) << "wrong address";
  std::string wrongSum = good;
  wrongSum.back() = wrongSum.back() == '0' ? '1' : '0';
  EXPECT_FALSE(CheckReply(wrongSum, "0123"));
  // The identity reply must repeat "####", not the serial number it carries.
  EXPECT_TRUE(CheckReply(Reply("####", 'Q', "0123"), kIdentityAddress));
  EXPECT_FALSE(CheckReply(Reply("0123", 'Q', "0123"), kIdentityAddress));
  // Position 2, the address and the type are outside the reply checksum.
  EXPECT_EQ(ReplyChecksum(":Z9999Q0123" "00"), ReplyChecksum(":a####Q0123" "00"));
}

TEST(Reply, ShortFrames) {
  EXPECT_TRUE(CheckReply(":x0123T00", "0123")) << "nine characters: no data, checksum 00";
  EXPECT_EQ(ReplyChecksum(":x0123T00"), 0u);
  EXPECT_FALSE(CheckReply(":x0123T0", "0123"));
  // The type must not double as a checksum digit, nor the address as both.
  EXPECT_FALSE(CheckReply(":x012300", "0123")) << "type 0 read as the first checksum digit";
  EXPECT_FALSE(CheckReply(":x0000", "0000")) << "address read as the checksum";
  EXPECT_FALSE(CheckReply(":x0123", "0123"));
  EXPECT_FALSE(CheckReply("", "0123"));
  EXPECT_EQ(ReplyType(":x0123"), '\0');
}

TEST(Fields, OneBasedAccessAndHex) {
  const std::string f = ":x0123886E1";
  EXPECT_EQ(Sub(f, 1, 1), ":");
  EXPECT_EQ(Sub(f, 3, 4), "0123");
  EXPECT_EQ(Sub(f, 10, 5), "E1");  // cut short by the end
  EXPECT_EQ(Sub(f, 12, 2), "");    // wholly beyond
  EXPECT_EQ(Sub(f, 0, 2), ":");    // before position 1
  EXPECT_EQ(CharAt(f, 7), '8');
  EXPECT_FALSE(CharAt(f, 12).has_value());

  EXPECT_EQ(HexField(":x0123Sab", 8, 2), 0xABu) << "lower-case digits are accepted";
  EXPECT_EQ(HexField(":x01230G1", 8, 2), 0u) << "not hex";
  EXPECT_EQ(HexField(":x01230 1", 8, 2), 0u);
  EXPECT_EQ(HexField(":x01230-1", 8, 2), 0u);
  EXPECT_EQ(WordAt(":x012308A", 8), 0x8Au) << "cut short: read from what is there";
  EXPECT_EQ(WordAt(":x0123", 8), 0u) << "wholly beyond";
}

}  // namespace
