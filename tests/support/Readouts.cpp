// Whole read-outs from the simulator's instrument.
#include "tests/support/Readouts.h"

#include "protocol/Protocol.h"

bool ReadOut(protocol::InstrumentState& state, const sim::InstrumentSetup& setup, int skip, int64_t completedAtUtcMs) {
  sim::Instrument instrument(setup, {}, 0);
  protocol::BeginReadout(state);
  bool complete = false;
  for (const protocol::ReadoutStep& row : protocol::ReadoutTable()) {
    if (row.step == skip) continue;
    const std::string address = protocol::Sub(state.serial, 1, 4);
    const std::string request = protocol::BuildRequest(address, row.command);
    const auto answer = instrument.Handle(request.substr(0, request.size() - 1), 0);
    if (!answer) continue;
    const std::string reply = answer->reply.substr(0, answer->reply.size() - 1);
    if (!protocol::CheckReply(reply, state.serial)) continue;
    if (protocol::ApplyReply(state, reply, false).move.checkConnected)
      complete = protocol::FinishReadout(state, completedAtUtcMs);
  }
  return complete;
}

protocol::ReadoutRecord RecordOf(const sim::InstrumentSetup& setup, int64_t readAtUtcMs) {
  protocol::ReadoutRecord record;
  ReadOut(record.state, setup, -1, readAtUtcMs);
  record.readAtUtcMs = readAtUtcMs;
  record.port = 3;
  return record;
}
