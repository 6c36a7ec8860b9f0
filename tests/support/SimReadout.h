// A whole read-out without a port: every request of the read-out table answered by the
// simulator's instrument model and taken into an InstrumentState, as the session would; and a
// kept read-out (ReadoutRecord) made from one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/InstrumentState.h"
#include "protocol/ReadoutRecord.h"
#include "sim/Instrument.h"

// The PC's time at which these read-outs complete: 2023-11-14 22:13:20 UTC.
inline constexpr int64_t kSimReadoutAtUtcMs = 1'700'000'000'000;

// The replies (without their carriage returns) the instrument of `setup` gives to the read-out
// table's requests in order, leaving out step `skip`; each request goes to the address the
// read-out would use ("####", then the serial number of the identity reply).
std::vector<std::string> ReadoutReplies(const sim::InstrumentSetup& setup, int skip = -1);

// Answers every request of the read-out table from `setup` and takes the replies into `state`,
// leaving out step `skip`; returns whether the last block completed the read-out.
bool ReadOut(protocol::InstrumentState& state, const sim::InstrumentSetup& setup, int skip = -1);

// A complete read-out of `setup` on COM `port`, with no brake ticked and nothing typed.
protocol::ReadoutRecord RecordOf(const sim::InstrumentSetup& setup, int port = 3);
// The same on COM 3, read at `readAtUtcMs`.
protocol::ReadoutRecord RecordReadAt(const sim::InstrumentSetup& setup, int64_t readAtUtcMs);
