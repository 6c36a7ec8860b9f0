// Fuzz target: the program's receive path without its window. Bytes from the line arrive in
// data-available events of any size, are assembled into reply frames one character at a time
// (the same function the window runs), checked, and a frame is decoded into the texts the
// window would show. Requests going out in between and purges after a completed frame are
// chosen by the input too.
//
// Input: byte 0 sets the start (bit 0: the identity address "####" instead of "0123"; bit 1:
// connected; bits 2-4: the %g, metric and pull check boxes). Then events: a header byte (bits
// 0-5: length; bit 6: a request went out before it; bit 7: these bytes were already waiting
// when the last frame completed, so its purge drops them) and that many line bytes.
//
// Besides crashes and undefined behaviour it stops on any broken invariant of the assembly or
// of a decoder's result (see Check).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocol/Decoders.h"
#include "protocol/InstrumentState.h"
#include "protocol/Protocol.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

// The longest text a decoder may produce from a frame of at most 33 characters.
constexpr std::size_t kLongestText = 64;

void CheckText(const std::string& text, const char* what) { Check(text.size() <= kLongestText, what); }

// Every decoder on `frame`, valid or not: the window calls them only for valid frames of their
// type, but nothing in them may rely on that.
void DecodeAll(const std::string& frame, const decoders::ResultUnits& units, bool connected) {
  CheckText(decoders::DecodeSerialReply(frame), "serial text");
  const decoders::StatusView status = decoders::DecodeStatusReply(frame);
  Check(status.tempRaw >= 0 && status.tempRaw <= 255 && status.battRaw >= 0 && status.battRaw <= 255,
        "status bytes");
  CheckText(status.tempText, "temperature text");
  CheckText(status.battText, "battery text");

  const protocol::ConfigBlock block = decoders::DecodeConfigReply(frame);
  const decoders::ConfigView config = decoders::ShowConfigFlags(block.flagsWord, block.featureWord);
  CheckText(config.notesFirstLine, "notes line");
  const decoders::CollectedFlags collected = decoders::CollectConfigFlags(block.flagsWord, config.boxes);
  Check(protocol::ConfigWriteCommand(block, collected.newFlagsWord).size() == 17, "config write body");

  const decoders::CalibrationView calibration = decoders::DecodeCalibrationReply(frame);
  CheckText(calibration.versionText, "version text");
  CheckText(calibration.calibText, "calibration text");
  CheckText(calibration.byWhoText, "service centre text");
  CheckText(decoders::DecodeClockReply(frame), "clock text");

  const decoders::ResultBlockView result = decoders::DecodeResultBlock(frame, units);
  Check(result.test >= 0 && result.test <= 3, "test number");
  Check((result.test == 0) == (result.half == decoders::BlockHalf::Unknown), "block half and test agree");
  for (const std::string* text : {&result.peak, &result.mean, &result.sideways, &result.angle, &result.stop,
                                  &result.speed, &result.distance, &result.date})
    CheckText(*text, "result text");

  const decoders::StepMove move = decoders::StepAfterReply(frame, connected);
  Check(move.kind != decoders::StepMove::SetStep || (move.step >= 0 && move.step <= 11), "step after a reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const uint8_t start = data[0];
  std::string address = (start & 1) ? protocol::kIdentityAddress : std::string("0123");
  bool connected = (start & 2) != 0;
  const decoders::ResultUnits units{(start & 4) != 0, (start & 8) != 0, (start & 16) != 0};

  // The session's receive state (RxFrame, InFrame, ReplyValid) and the instrument's state.
  protocol::InstrumentState state;
  state.serial = address;
  std::string frame;
  bool inFrame = false;
  bool replyValid = false;
  bool purged = false;  // a frame completed in the last event: input waiting then is dropped

  std::size_t pos = 1;
  while (pos < size) {
    const uint8_t header = data[pos++];
    const std::size_t length = std::min<std::size_t>(header & 0x3F, size - pos);
    const std::string event(reinterpret_cast<const char*>(data + pos), length);
    pos += length;
    if (header & 0x40) {
      // A request went out (the tick's transmission).
      frame.clear();
      inFrame = false;
      replyValid = false;
      purged = false;
    }
    if ((header & 0x80) && purged) {
      purged = false;
      continue;  // these bytes were in the port when the purge came
    }
    purged = false;
    // One data-available event: every announced character is read, purge or not.
    for (char c : event) {
      const bool complete = protocol::CollectReplyChar(frame, inFrame, c);
      Check(frame.size() <= protocol::kMaxFrameLength + 1, "frame longer than 33 characters");
      Check(frame.empty() || frame[0] == ':', "frame not starting with ':'");
      if (!complete) {
        Check(!inFrame || !frame.empty(), "in a frame without its ':'");
        continue;
      }
      Check(!inFrame, "a completed frame leaves the frame");
      replyValid = protocol::CheckReply(frame, address);
      if (replyValid) {
        Check(frame.size() >= 9 && frame[0] == ':', "a valid reply is at least 9 characters from its ':'");
        Check(protocol::ReplyChecksum(frame) <= 255, "checksum range");
      }
      DecodeAll(frame, units, connected);
      if (replyValid) {
        // The session's state takes the valid reply; its serial number is the next address.
        const protocol::AppliedReply applied = protocol::ApplyReply(state, frame, connected);
        const decoders::StepMove& move = applied.move;
        Check(applied.part != protocol::StatePart::Result || (applied.test >= 1 && applied.test <= 3), "result test");
        Check(state.readoutParts <= protocol::kAllReadoutParts, "read-out parts");
        address = state.serial;
        if (move.checkConnected) {
          connected = true;
          if (protocol::FinishReadout(state, 0)) Check(state.readoutParts == protocol::kAllReadoutParts, "complete");
        }
        if (move.kind == decoders::StepMove::RestartReadout) {
          connected = false;
          protocol::BeginReadout(state);
        }
      }
      purged = true;
    }
  }
  (void)replyValid;
  return 0;
}
