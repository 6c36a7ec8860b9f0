// Taking replies into the instrument's state.
#include "protocol/InstrumentState.h"

namespace protocol {

decoders::ResultUnits InstrumentState::UnitsAsRead() const {
  if (!has(2)) return {};
  return decoders::UnitsOf(configView.boxes);
}

namespace {

void TakeResultBlock(InstrumentState& s, const std::string& frame, AppliedReply& applied) {
  const decoders::ResultUnits units = s.UnitsAsRead();
  const decoders::ResultBlockView v = decoders::DecodeResultBlock(frame, units);
  if (v.test < 1 || v.test > 3) return;  // not a block of ours: nothing changes
  TestState& t = s.tests[static_cast<std::size_t>(v.test - 1)];
  if (v.half == BlockHalf::First) {
    t.firstRead = true;
    t.first = v.first;
    t.firstUnits = units;
    t.peak = v.peak;
    t.mean = v.mean;
    t.sideways = v.sideways;
    t.angle = v.angle;
    t.stop = v.stop;
  } else {
    t.secondRead = true;
    t.second = v.second;
    t.secondUnits = units;
    t.speed = v.speed;
    t.distance = v.distance;
    t.date = v.date;
  }
  applied.part = StatePart::Result;
  applied.test = v.test;
  applied.half = v.half;
}

void TakeReplyData(InstrumentState& s, const std::string& frame, AppliedReply& applied) {
  switch (ReplyType(frame)) {
    case 'Q':
      s.serial = decoders::DecodeSerialReply(frame);
      applied.part = StatePart::Identity;
      break;
    case '0': {
      const decoders::StatusView status = decoders::DecodeStatusReply(frame);
      s.tempRaw = status.tempRaw;
      s.battRaw = status.battRaw;
      s.tempText = status.tempText;
      s.battText = status.battText;
      applied.part = StatePart::Status;
      break;
    }
    case '1':
      s.config = decoders::DecodeConfigReply(frame);
      s.configView = decoders::ShowConfigFlags(s.config.flagsWord, s.config.featureWord);
      applied.part = StatePart::Config;
      break;
    case '6':
      s.calibration = decoders::DecodeCalibrationReply(frame);
      s.calibrationDate = Sub(frame, 8, 6);
      s.serviceCentre = Sub(frame, 14, 3);
      applied.part = StatePart::Calibration;
      break;
    case 'S':
      s.clockRaw = Sub(frame, 10, 12);
      s.clockText = decoders::DecodeClockReply(frame);
      applied.part = StatePart::Clock;
      break;
    case '8': TakeResultBlock(s, frame, applied); break;
    default: break;  // '9' and 'T' carry nothing to keep; other types are not ours
  }
}

}  // namespace

AppliedReply ApplyReply(InstrumentState& s, const std::string& frame, bool connected) {
  AppliedReply applied;
  // The configuration must be in place before a block of the same read-out is decoded; the
  // read-out asks for it first, so the state's order is the reply's order.
  TakeReplyData(s, frame, applied);
  applied.move = decoders::StepAfterReply(frame, connected);
  if (applied.move.kind == decoders::StepMove::SetStep) {
    if (const ReadoutStep* row = RowForReply(frame)) {
      const auto bit = static_cast<uint16_t>(1u << row->step);
      s.validParts |= bit;
      s.readoutParts |= bit;
      s.frames[static_cast<std::size_t>(row->step)] = frame;
    }
  }
  return applied;
}

void BeginReadout(InstrumentState& s) {
  s.serial = kIdentityAddress;
  s.readoutParts = 0;
  s.frames = {};
  s.complete = false;
  s.completedAtUtcMs.reset();
}

bool FinishReadout(InstrumentState& s, int64_t nowUtcMs) {
  s.complete = s.readoutParts == kAllReadoutParts;
  if (s.complete) s.completedAtUtcMs = nowUtcMs;
  return s.complete;
}

}  // namespace protocol
