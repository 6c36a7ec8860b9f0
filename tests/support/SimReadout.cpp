// Read-outs answered by the simulator's instrument model.
#include "tests/support/SimReadout.h"

#include <stdexcept>

#include "protocol/Protocol.h"

std::vector<std::string> ReadoutReplies(const sim::InstrumentSetup& setup, int skip) {
  sim::Instrument instrument(setup, {}, 0);
  std::vector<std::string> replies;
  std::string address = protocol::kIdentityAddress;
  for (const protocol::ReadoutStep& row : protocol::ReadoutTable()) {
    if (row.step == skip) continue;
    const std::string request = protocol::BuildRequest(address, row.command);
    const auto answer = instrument.Handle(request.substr(0, request.size() - 1), 0);
    if (!answer) continue;
    replies.push_back(answer->reply.substr(0, answer->reply.size() - 1));
    if (protocol::ReplyType(replies.back()) == 'Q') address = protocol::Sub(replies.back(), 8, 4);
  }
  return replies;
}

bool ReadOut(protocol::InstrumentState& state, const sim::InstrumentSetup& setup, int skip) {
  protocol::BeginReadout(state);
  bool complete = false;
  for (const std::string& reply : ReadoutReplies(setup, skip)) {
    if (!protocol::CheckReply(reply, state.serial)) continue;
    if (protocol::ApplyReply(state, reply, false).move.checkConnected)
      complete = protocol::FinishReadout(state, kSimReadoutAtUtcMs);
  }
  return complete;
}

protocol::ReadoutRecord RecordOf(const sim::InstrumentSetup& setup, int port) {
  protocol::ReadoutRecord record;
  if (!ReadOut(record.state, setup)) throw std::logic_error("the simulated read-out did not complete");
  record.readAtUtcMs = kSimReadoutAtUtcMs;
  record.port = port;
  return record;
}

protocol::ReadoutRecord RecordReadAt(const sim::InstrumentSetup& setup, int64_t readAtUtcMs) {
  protocol::ReadoutRecord record = RecordOf(setup);
  record.readAtUtcMs = readAtUtcMs;
  return record;
}
