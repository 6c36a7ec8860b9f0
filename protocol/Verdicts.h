// Verdicts on brake tests: the brake efficiency of a test in %g against a regime, a list of
// rules (which brake, which reading, the minimum in %g and where the rule comes from), and the
// two built-in regimes of the UK MOT test for class 4 vehicles. A test is judged only when its
// brake kind was ticked and the regime has a rule for that brake; a reading exactly at the
// minimum passes. Pure: no Qt, no I/O.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "protocol/Quantities.h"
#include "protocol/ReadoutRecord.h"

namespace protocol {

// 100 %g is one standard gravity: m/s² readings are converted with it.
inline constexpr double kStandardGravity = 9.80665;  // m/s²

enum class Reading { Peak, Mean };

struct VerdictRule {
  BrakeKind brake = BrakeKind::Main;
  Reading reading = Reading::Peak;
  double minimumPercentG = 0;  // the lowest passing efficiency, %g
  std::string source;          // where the rule comes from, for the examiner
  bool operator==(const VerdictRule&) const = default;
};

struct Regime {
  std::string name;
  std::vector<VerdictRule> rules;  // at most one per brake kind
  // The rule for `brake`, or null.
  const VerdictRule* RuleFor(BrakeKind brake) const;
  bool operator==(const Regime&) const = default;
};

// "UK MOT class 4, M1 first used from 1 Sep 2010" (service brake 58 %) and "UK MOT class 4,
// other" (service brake 50 %), both with the secondary brake at 25 % and the parking brake at
// 16 %, on the peak reading.
const std::vector<Regime>& BuiltInRegimes();

// The regime named exactly `name` in `regimes`, or null.
const Regime* FindRegime(const std::vector<Regime>& regimes, const std::string& name);

// A reading in %g: as it is when the readings are in %g, else converted from m/s².
double EfficiencyPercentG(double reading, bool percentG);

enum class Verdict { Pass, Fail, NotAssessed };
const char* VerdictText(Verdict verdict);  // "pass", "fail", "not assessed"

struct Assessment {
  Verdict verdict = Verdict::NotAssessed;
  std::optional<VerdictRule> rule;          // the rule applied, when one was
  std::optional<double> efficiencyPercentG; // the reading the rule judged, in %g
};

// The brake test `number` (1..3) was ticked as: test 1 the main brake, 2 the secondary, 3 the
// parking brake, each only when its box was ticked and the window shows the box (the plain
// model shows none, as its test column has no caption). None otherwise.
std::optional<BrakeKind> TickedBrake(const ReadoutRecord& record, int number);

// The verdict of test `number` under `regime`: not assessed without a ticked brake kind or a
// rule for it; otherwise pass exactly when the reading, as shown and in %g, reaches the minimum.
Assessment Assess(const ReadoutRecord& record, int number, const Regime& regime);

}  // namespace protocol
