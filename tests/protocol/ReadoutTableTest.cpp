// The read-out table against the simulator's own replies: each step's request, answered by the
// instrument model, is a valid reply of the expected type (and block) that leads to the next step.
#include <gtest/gtest.h>

#include "protocol/Decoders.h"
#include "protocol/Protocol.h"
#include "protocol/ReadoutTable.h"
#include "sim/Instrument.h"

namespace {

using protocol::ReadoutStep;

std::string Answer(sim::Instrument& instrument, const std::string& address, const std::string& body) {
  const std::string request = protocol::BuildRequest(address, body);
  const auto answer = instrument.Handle(request.substr(0, request.size() - 1), 0);
  if (!answer) return {};
  return answer->reply.substr(0, answer->reply.size() - 1);  // without the carriage return
}

class ReadoutTableTest : public ::testing::TestWithParam<ReadoutStep> {};

TEST_P(ReadoutTableTest, TheSimulatorsReplyLeadsToTheNextStep) {
  const ReadoutStep& row = GetParam();
  sim::Instrument instrument({}, {}, 0);
  const std::string address = row.step == 0 ? protocol::kIdentityAddress : std::string("0123");
  const std::string reply = Answer(instrument, address, row.command);
  ASSERT_FALSE(reply.empty()) << row.command;
  EXPECT_TRUE(protocol::CheckReply(reply, address)) << reply;
  EXPECT_EQ(protocol::ReplyType(reply), row.replyType) << reply;
  EXPECT_EQ(protocol::RowForReply(reply), &protocol::ReadoutTable()[static_cast<std::size_t>(row.step)]) << reply;
  if (row.replyType == '8') {
    EXPECT_EQ(protocol::ByteAt(reply, 8), row.blockAddress);
    EXPECT_EQ(protocol::RowForBlock(row.blockAddress), &protocol::ReadoutTable()[static_cast<std::size_t>(row.step)]);
  }
  const decoders::StepMove move = decoders::StepAfterReply(reply, false);
  EXPECT_EQ(move.kind, decoders::StepMove::SetStep);
  EXPECT_EQ(move.step, row.nextStep);
  EXPECT_EQ(move.checkConnected, row.nextStep == protocol::kConnectedStep);
}

INSTANTIATE_TEST_SUITE_P(Steps, ReadoutTableTest, ::testing::ValuesIn(protocol::ReadoutTable()),
                         [](const auto& info) { return "Step" + std::to_string(info.param.step); });

TEST(ReadoutTable, StepsRunInOrderAndEachTestHasBothHalves) {
  int halves[3] = {0, 0, 0};
  for (const ReadoutStep& row : protocol::ReadoutTable()) {
    EXPECT_EQ(row.nextStep, row.step + 1);
    if (row.replyType != '8') continue;
    ASSERT_GE(row.test, 1);
    ASSERT_LE(row.test, 3);
    ++halves[row.test - 1];
    EXPECT_EQ(row.command, protocol::ResultBlockCommand(row.blockAddress));
  }
  for (int n : halves) EXPECT_EQ(n, 2);
  // Blocks outside the six are not ours: the simulator reads them as empty memory and the
  // read-out does not move on them.
  EXPECT_EQ(protocol::RowForBlock(0x50), nullptr);
  sim::Instrument instrument({}, {}, 0);
  const std::string unused = Answer(instrument, "0123", "850");
  EXPECT_EQ(protocol::RowForReply(unused), nullptr);
  EXPECT_EQ(decoders::StepAfterReply(unused, false).kind, decoders::StepMove::Unchanged);
}

}  // namespace
