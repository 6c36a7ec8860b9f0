// Control-channel commands of the simulator.
#include "sim/Control.h"

#include <vector>

#include "sim/InstrumentJson.h"

namespace sim {

std::optional<ControlReply> HandleControl(const std::string& rawLine, Instrument& instrument, FaultPlan& faults,
                                          int64_t nowMs) {
  std::string line = rawLine;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  line.erase(0, first);
  const auto space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string rest = space == std::string::npos ? std::string() : line.substr(line.find_first_not_of(' ', space));

  if (verb == "state" && rest.empty()) return ControlReply{StateJson(instrument, faults, nowMs)};
  if (verb == "quit" && rest.empty()) return ControlReply{"bye", true};
  if (verb == "faults" && rest == "clear") {
    faults.Clear();
    return ControlReply{"ok"};
  }
  if (verb == "fault" && !rest.empty()) {
    std::string error;
    const auto rule = ParseFault(rest, error);
    if (!rule) return ControlReply{"error: " + error};
    faults.Add(*rule);
    return ControlReply{"ok"};
  }
  if (verb == "set" && !rest.empty()) {
    InstrumentSetup setup = instrument.setup();
    std::vector<FaultRule> added;
    std::string error;
    if (!ApplySetupJson(rest, setup, added, error)) return ControlReply{"error: " + error};
    instrument.Reconfigure(std::move(setup), nowMs);
    for (FaultRule& r : added) faults.Add(std::move(r));
    return ControlReply{"ok"};
  }
  return ControlReply{"error: unknown command '" + line + "' (state, set JSON, fault RULE, faults clear, quit)"};
}

}  // namespace sim
