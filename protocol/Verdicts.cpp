// Brake efficiency against the rules of a regime, and the built-in MOT regimes.
#include "protocol/Verdicts.h"

namespace protocol {

namespace {

// Rounding of the m/s² conversion must not fail a reading that is at the minimum.
constexpr double kAtTheMinimum = 1e-9;  // %g

const char* const kMotServiceSource =
    "DVSA MOT inspection manual, class 4: service brake efficiency by decelerometer";
const char* const kMotSecondarySource =
    "DVSA MOT inspection manual, class 4: secondary brake efficiency by decelerometer";
const char* const kMotParkingSource =
    "DVSA MOT inspection manual, class 4: parking brake efficiency by decelerometer";

Regime MotClass4(const char* name, double service, const char* serviceNote) {
  return {name,
          {{BrakeKind::Main, Reading::Peak, service, std::string(kMotServiceSource) + ", " + serviceNote},
           {BrakeKind::Secondary, Reading::Peak, 25, kMotSecondarySource},
           {BrakeKind::Parking, Reading::Peak, 16, kMotParkingSource}}};
}

}  // namespace

const VerdictRule* Regime::RuleFor(BrakeKind brake) const {
  for (const VerdictRule& rule : rules)
    if (rule.brake == brake) return &rule;
  return nullptr;
}

const std::vector<Regime>& BuiltInRegimes() {
  static const std::vector<Regime> regimes{
      MotClass4("UK MOT class 4, M1 first used from 1 Sep 2010", 58,
                "58 % for M1 passenger cars first used on or after 1 September 2010"),
      MotClass4("UK MOT class 4, other", 50, "50 % for other class 4 vehicles"),
  };
  return regimes;
}

const Regime* FindRegime(const std::vector<Regime>& regimes, const std::string& name) {
  for (const Regime& regime : regimes)
    if (regime.name == name) return &regime;
  return nullptr;
}

double EfficiencyPercentG(double reading, bool percentG) {
  return percentG ? reading : reading * 100 / kStandardGravity;
}

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass: return "pass";
    case Verdict::Fail: return "fail";
    case Verdict::NotAssessed: return "not assessed";
  }
  return "";
}

std::optional<BrakeKind> TickedBrake(const ReadoutRecord& record, int number) {
  if (number < 1 || number > 3 || !record.state.plusModel()) return std::nullopt;
  const auto index = static_cast<std::size_t>(number - 1);
  if (!record.brakeTicked[index]) return std::nullopt;
  return kTestBrakes[index];
}

Assessment Assess(const ReadoutRecord& record, int number, const Regime& regime) {
  Assessment a;
  const std::optional<BrakeKind> brake = TickedBrake(record, number);
  if (!brake) return a;
  const VerdictRule* rule = regime.RuleFor(*brake);
  if (!rule) return a;
  const TestState& test = record.state.tests[static_cast<std::size_t>(number - 1)];
  // The reading as the window shows it, so the verdict agrees with the printed figure.
  const ShownQuantity reading = QuantityOf(test, rule->reading == Reading::Peak ? Quantity::Peak : Quantity::Mean);
  a.rule = *rule;
  a.efficiencyPercentG = EfficiencyPercentG(reading.value, test.firstUnits.percentG);
  a.verdict = *a.efficiencyPercentG + kAtTheMinimum >= rule->minimumPercentG ? Verdict::Pass : Verdict::Fail;
  return a;
}

}  // namespace protocol
