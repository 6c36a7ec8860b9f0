// The simulator's control channel: one command per line, one reply line per command.
//   state          the instrument's state as one line of JSON
//   set JSON       applies a JSON object with the configuration keys (see InstrumentJson.h)
//   fault RULE     adds a fault rule (see Faults.h)
//   faults clear   removes every fault rule
//   quit           replies "bye" and ends the simulator
// Replies are "ok", "bye", the JSON line, or "error: <why>". Empty lines get no reply.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "sim/Faults.h"
#include "sim/Instrument.h"

namespace sim {

struct ControlReply {
  std::string line;  // without line end
  bool quit = false;
};

std::optional<ControlReply> HandleControl(const std::string& line, Instrument& instrument, FaultPlan& faults,
                                          int64_t nowMs);

}  // namespace sim
