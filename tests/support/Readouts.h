// Whole read-outs without a port: the simulator's instrument answers every request of the
// read-out table and the replies go into an InstrumentState as the session takes them. For
// tests of the state, the archive and what reads it.
#pragma once
#include <cstdint>

#include "protocol/InstrumentState.h"
#include "protocol/ReadoutRecord.h"
#include "sim/Instrument.h"

// Reads `setup` into `state`, leaving out step `skip`; true when the last block completed the
// read-out (at `completedAtUtcMs`).
bool ReadOut(protocol::InstrumentState& state, const sim::InstrumentSetup& setup, int skip = -1,
             int64_t completedAtUtcMs = 1'700'000'000'000);

// A complete read-out of `setup` as a record read at `readAtUtcMs` on COM 3.
protocol::ReadoutRecord RecordOf(const sim::InstrumentSetup& setup, int64_t readAtUtcMs = 1'700'000'000'000);
