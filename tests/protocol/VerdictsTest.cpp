// Verdicts: the built-in MOT regimes, pass and fail around each minimum (exactly at it
// passes), readings in m/s² converted with 9.80665 m/s² = 100 %g, and the tests that are not
// assessed: no brake ticked, a plain instrument, a regime without a rule for the brake.
#include <gtest/gtest.h>

#include <clocale>

#include "protocol/Verdicts.h"
#include "tests/support/SimReadout.h"

namespace {

using protocol::BrakeKind;
using protocol::Reading;
using protocol::Verdict;

const std::string kM1 = "UK MOT class 4, M1 first used from 1 Sep 2010";
const std::string kOther = "UK MOT class 4, other";

}  // namespace

TEST(Verdicts, TheBuiltInRegimesJudgeThePeakAgainstTheMotMinimums) {
  const auto& regimes = protocol::BuiltInRegimes();
  ASSERT_EQ(regimes.size(), 2u);
  for (const auto& [name, service] : {std::pair{kM1, 58.0}, std::pair{kOther, 50.0}}) {
    const protocol::Regime* r = protocol::FindRegime(regimes, name);
    ASSERT_NE(r, nullptr) << name;
    ASSERT_EQ(r->rules.size(), 3u);
    const double minimums[] = {service, 25, 16};
    for (BrakeKind brake : protocol::kTestBrakes) {
      const protocol::VerdictRule* rule = r->RuleFor(brake);
      ASSERT_NE(rule, nullptr);
      EXPECT_EQ(rule->reading, Reading::Peak);
      EXPECT_EQ(rule->minimumPercentG, minimums[int(brake)]);
      EXPECT_NE(rule->source.find("DVSA MOT inspection manual"), std::string::npos);
    }
  }
  EXPECT_EQ(protocol::FindRegime(regimes, "uk mot class 4, other"), nullptr);  // names are exact
}

TEST(Verdicts, PassFailAndNotAssessed) {
  std::setlocale(LC_ALL, "C");
  const protocol::Regime meanOnly{"mean, main brake only", {{BrakeKind::Main, Reading::Mean, 50, "test"}}};
  struct Case {
    const char* what;
    uint16_t flags;  // %g readings (0x2000) or m/s²
    int test;
    unsigned peak;   // tenths of %g or hundredths of m/s²
    bool ticked = true;
    bool plus = true;
    const protocol::Regime* regime = nullptr;  // M1 by default
    Verdict verdict = Verdict::Pass;
    double efficiency = 0;
  };
  const protocol::Regime* other = protocol::FindRegime(protocol::BuiltInRegimes(), kOther);
  const Case cases[] = {
      {"service at 58", 0x3000, 1, 580, true, true, nullptr, Verdict::Pass, 58.0},
      {"service below 58", 0x3000, 1, 579, true, true, nullptr, Verdict::Fail, 57.9},
      {"57.9 is enough for the others", 0x3000, 1, 579, true, true, other, Verdict::Pass, 57.9},
      {"50 exactly, others", 0x3000, 1, 500, true, true, other, Verdict::Pass, 50.0},
      {"secondary at 25", 0x3000, 2, 250, true, true, nullptr, Verdict::Pass, 25.0},
      {"secondary below", 0x3000, 2, 249, true, true, nullptr, Verdict::Fail, 24.9},
      {"parking at 16", 0x3000, 3, 160, true, true, nullptr, Verdict::Pass, 16.0},
      {"parking below", 0x3000, 3, 159, true, true, nullptr, Verdict::Fail, 15.9},
      {"5.69 m/s/s is 58.02 %g", 0x1000, 1, 569, true, true, nullptr, Verdict::Pass, 569 / 9.80665},
      {"5.68 m/s/s is 57.92 %g", 0x1000, 1, 568, true, true, nullptr, Verdict::Fail, 568 / 9.80665},
      {"1.57 m/s/s parking", 0x1000, 3, 157, true, true, nullptr, Verdict::Pass, 157 / 9.80665},
      {"no brake ticked", 0x3000, 1, 900, false, true, nullptr, Verdict::NotAssessed},
      {"plain model: no brake boxes", 0x3000, 1, 900, true, false, nullptr, Verdict::NotAssessed},
      {"no rule for the brake", 0x3000, 3, 900, true, true, &meanOnly, Verdict::NotAssessed},
      // The mean is 50.0 %g in every case here; the peak does not count for this rule.
      {"a rule on the mean", 0x3000, 1, 100, true, true, &meanOnly, Verdict::Pass, 50.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstrumentSetup setup;
    setup.featureWord = c.plus ? 0x0020 : 0x0000;
    setup.flagsWord = c.flags;
    for (auto& t : setup.tests) t.mean = 500;
    setup.tests[c.test - 1].peak = uint16_t(c.peak);
    protocol::ReadoutRecord record = RecordOf(setup);
    record.brakeTicked[c.test - 1] = c.ticked;
    const protocol::Regime& regime = c.regime ? *c.regime : *protocol::FindRegime(protocol::BuiltInRegimes(), kM1);
    const protocol::Assessment a = protocol::Assess(record, c.test, regime);
    EXPECT_EQ(protocol::VerdictText(a.verdict), std::string(protocol::VerdictText(c.verdict)));
    if (c.verdict == Verdict::NotAssessed) {
      EXPECT_FALSE(a.efficiencyPercentG);
      continue;
    }
    ASSERT_TRUE(a.efficiencyPercentG);
    EXPECT_NEAR(*a.efficiencyPercentG, c.efficiency, 1e-9);
    ASSERT_TRUE(a.rule);
    EXPECT_EQ(a.rule->brake, protocol::kTestBrakes[c.test - 1]);
  }
}
