// Fault rules of the simulator: parsing, which requests they hit, and what each does to a reply.
#include <gtest/gtest.h>

#include "protocol/Protocol.h"
#include "sim/Faults.h"

namespace {

using sim::FaultKind;
using sim::FaultPlan;
using sim::Piece;

const std::string kReply = ":R0123086E1E4\r";  // checksum with a letter digit

sim::FaultRule Rule(const std::string& spec) {
  std::string error;
  auto rule = sim::ParseFault(spec, error);
  EXPECT_TRUE(rule.has_value()) << spec << ": " << error;
  return rule.value_or(sim::FaultRule{});
}

std::string Joined(const std::vector<Piece>& pieces) {
  std::string all;
  for (const Piece& p : pieces) all += p.bytes;
  return all;
}

std::string ShapeOnce(const std::string& spec, const std::string& reply = kReply) {
  FaultPlan plan;
  plan.Add(Rule(spec));
  return Joined(plan.Shape("0", reply, 15));
}

TEST(SimFaults, Parse) {
  sim::FaultRule r = Rule("split=3/40@820#2*4");
  EXPECT_EQ(r.kind, FaultKind::Split);
  EXPECT_EQ(r.pieces, 3);
  EXPECT_EQ(r.gapMs, 40);
  EXPECT_EQ(r.command, "820");
  EXPECT_EQ(r.from, 2);
  EXPECT_EQ(r.count, 4);
  r = Rule("noreply#3");
  EXPECT_EQ(r.from, 3);
  EXPECT_EQ(r.count, 1) << "#N alone hits once";
  r = Rule("checksum@0");
  EXPECT_FALSE(r.count.has_value()) << "no #N or *COUNT: every time";
  EXPECT_EQ(Rule("garbage=ab c").garbage, "ab c");
  EXPECT_EQ(Rule("type=x").type, 'x');
  EXPECT_EQ(Rule("delay=1500").delayMs, 1500);

  for (const char* bad : {"", "bogus", "delay", "delay=-1", "split=1", "split=2/x", "garbage=a:b", "noreply=1",
                          "type=xy", "checksum@", "checksum#0", "checksum*x"}) {
    std::string error;
    EXPECT_FALSE(sim::ParseFault(bad, error).has_value()) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SimFaults, EachFaultDoesWhatItSays) {
  EXPECT_EQ(ShapeOnce("checksum"), ":R0123086E1E5\r");
  EXPECT_EQ(ShapeOnce("lowercase"), ":R0123086E1e4\r");
  EXPECT_EQ(ShapeOnce("address"), ":RXXXX086E1E4\r");
  EXPECT_EQ(ShapeOnce("address", ":RXXXX086E1E4\r"), ":RYYYY086E1E4\r");
  EXPECT_EQ(ShapeOnce("garbage"), "~?junk:R0123086E1E4\r");
  EXPECT_EQ(ShapeOnce("linefeed"), ":R0123086E1E4\r\n");
  EXPECT_EQ(ShapeOnce("type"), ":R0123Z86E1E4\r");
  EXPECT_EQ(ShapeOnce("endless"), ":R0123086E1E4" + std::string(40, 'F'));
  EXPECT_EQ(ShapeOnce("noreply"), "");
  // Faults combine: garbage before, line feed after, checksum wrong in between.
  FaultPlan plan;
  plan.Add(Rule("garbage=zz"));
  plan.Add(Rule("linefeed"));
  plan.Add(Rule("checksum"));
  EXPECT_EQ(Joined(plan.Shape("0", kReply, 15)), "zz:R0123086E1E5\r\n");
  // A wrong checksum still fails the program's check; the unfaulted reply passes it.
  EXPECT_TRUE(protocol::CheckReply(":R0123086E1E4", "0123"));
  EXPECT_FALSE(protocol::CheckReply(":R0123086E1e4", "0123"));
  EXPECT_FALSE(protocol::CheckReply(":R0123086E1E5", "0123"));
}

TEST(SimFaults, SplitAndDelayTiming) {
  FaultPlan plan;
  plan.Add(Rule("split=3/25"));
  std::vector<Piece> pieces = plan.Shape("0", kReply, 15);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].delayMs, 15);
  EXPECT_EQ(pieces[1].delayMs, 25);
  EXPECT_EQ(pieces[2].delayMs, 25);
  EXPECT_EQ(Joined(pieces), kReply);
  for (const Piece& p : pieces) EXPECT_FALSE(p.bytes.empty());

  plan.Clear();
  plan.Add(Rule("delay=1200"));
  pieces = plan.Shape("0", kReply, 15);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].delayMs, 1200);
  plan.Clear();
  pieces = plan.Shape("0", kReply, 15);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].delayMs, 15) << "no rules: the reply as it is, after the instrument's delay";
}

TEST(SimFaults, RulesHitByCommandAndCount) {
  FaultPlan plan;
  plan.Add(Rule("noreply@8#2*2"));  // the 2nd and 3rd result-block requests
  plan.Add(Rule("checksum#4"));     // the 4th request of any kind
  const struct {
    const char* body;
    bool answered;
    bool checksumWrong;
  } steps[] = {{"820", true, false}, {"828", false, false}, {"0", true, false},
               {"830", false, true},  // 4th request: noreply wins over checksum
               {"838", true, false}, {"0", true, false}};
  for (const auto& s : steps) {
    const std::vector<Piece> pieces = plan.Shape(s.body, kReply, 15);
    EXPECT_EQ(!pieces.empty(), s.answered) << s.body;
    if (!pieces.empty()) {
      EXPECT_EQ(Joined(pieces) != kReply, s.checksumWrong) << s.body;
    }
  }
  EXPECT_EQ(plan.Specs(), (std::vector<std::string>{"noreply@8#2*2", "checksum#4"}));
}

}  // namespace
