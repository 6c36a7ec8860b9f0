// The simulated instrument in JSON: reading a setup (the --config file, the options, the
// control channel's "set") and writing the instrument's current state as one line. The keys
// are the same both ways, so a "state" line can be fed back as a configuration:
//   model "plus"|"plain", serial, version, feature, flags, setup [4 bytes], calibration (yymmdd),
//   serviceCentre, clock (yymmddhhmmss), temperature, battery, delay (ms),
//   tests [ {stop, spare, angle, mean, peak, date (yymmdd), time (hhmm), speed, distance} x3 ],
//   faults [ "rule", ... ] (input only; a state line lists them as activeFaults, and its
//   requests count, both ignored on input).
// Numbers may be JSON numbers or strings, decimal or 0x-prefixed hexadecimal.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/Faults.h"
#include "sim/Instrument.h"

namespace sim {

// Applies the keys present in `jsonText` (one object) to `setup` and appends its fault rules
// to `faults`. Unknown keys and out-of-range values are errors; on error `setup` and `faults`
// are left unchanged and `error` says what is wrong.
bool ApplySetupJson(const std::string& jsonText, InstrumentSetup& setup, std::vector<FaultRule>& faults,
                    std::string& error);

// The instrument's state at `nowMs` (its clock running), the number of requests it answered
// and the active fault rules, as one line of compact JSON.
std::string StateJson(const Instrument& instrument, const FaultPlan& faults, int64_t nowMs);

}  // namespace sim
