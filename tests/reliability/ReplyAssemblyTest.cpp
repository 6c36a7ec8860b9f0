// Frame assembly of the receive path: what the line carries and which frames come out of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/Protocol.h"

namespace {

struct Assembly {
  std::vector<std::string> frames;  // completed frames, in order
  std::string frame;                // the state after the last character
  bool inFrame = false;
};

Assembly Assemble(const std::string& line) {
  Assembly a;
  for (char c : line)
    if (protocol::CollectReplyChar(a.frame, a.inFrame, c)) a.frames.push_back(a.frame);
  return a;
}

struct AssemblyCase {
  const char* name;
  std::string line;
  std::vector<std::string> frames;
  std::string left;  // the frame held at the end
  bool inFrame;
};

void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

class ReplyAssembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(ReplyAssembly, FramesComeOutAsTheReceiverDefinesThem) {
  const AssemblyCase& c = GetParam();
  const Assembly a = Assemble(c.line);
  EXPECT_EQ(a.frames, c.frames);
  EXPECT_EQ(a.frame, c.left);
  EXPECT_EQ(a.inFrame, c.inFrame);
}

const std::string k33 = ":R0123086E1" + std::string(22, '0');  // 33 characters, no carriage return

INSTANTIATE_TEST_SUITE_P(
    Lines, ReplyAssembly,
    ::testing::Values(
        AssemblyCase{"OneReply", ":R0123086E1E4\r", {":R0123086E1E4"}, ":R0123086E1E4", false},
        AssemblyCase{"NoiseBeforeAndLineFeedAfter", "~?junk:R0123086E1E4\r\n", {":R0123086E1E4"}, "", false},
        AssemblyCase{"CarriageReturnOutsideAFrame", "\r\rab\r", {}, "", false},
        AssemblyCase{"UnfinishedFrame", "xx:R01", {}, ":R01", true},
        AssemblyCase{"SecondColonStaysInTheFrame", ":R:123\r", {":R:123"}, ":R:123", false},
        // Closed by the character after the 33rd; that character is not part of it.
        AssemblyCase{"OverlongFrame", k33 + "X", {k33}, k33, false},
        AssemblyCase{"ThirtyTwoCharactersStayOpen", k33.substr(0, 32) + "X", {}, k33.substr(0, 32) + "X", true},
        AssemblyCase{"NulAndHighBytesAreCharacters", std::string(":\0\xff", 3) + "\r",
                     {std::string(":\0\xff", 3)}, std::string(":\0\xff", 3), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyAssemblyLimits, NoLineMakesAFrameLongerThan33Characters) {
  std::string frame;
  bool inFrame = false;
  std::size_t longest = 0;
  // Every byte value, over and over, with and without colons and carriage returns.
  for (int round = 0; round < 64; ++round)
    for (int b = 0; b < 256; ++b) {
      protocol::CollectReplyChar(frame, inFrame, static_cast<char>((b * 7 + round) & 0xFF));
      longest = std::max(longest, frame.size());
      ASSERT_TRUE(frame.empty() || frame[0] == ':');
    }
  EXPECT_EQ(longest, protocol::kMaxFrameLength + 1);
}

}  // namespace
