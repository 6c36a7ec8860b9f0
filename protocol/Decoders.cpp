// Reply decoders: frame fields to display texts, with the program's units and patterns.
#include "protocol/Decoders.h"

#include "platform/formatting.h"
#include "protocol/QuantityFormat.h"

using protocol::ByteAt;
using protocol::Sub;
using protocol::WordAt;

namespace decoders {

std::string DecodeSerialReply(const std::string& frame) { return Sub(frame, 8, 4); }

StatusView DecodeStatusReply(const std::string& frame) {
  StatusView v;
  v.tempRaw = static_cast<int>(ByteAt(frame, 8));
  v.battRaw = static_cast<int>(ByteAt(frame, 10));
  // Degrees Celsius = byte / 2 - 42; volts = byte * 0.04.
  v.tempText = platform::FormatFloat(" ##0.0", v.tempRaw / 2.0 - 42) + " C";
  v.battText = platform::FormatFloat(" ##0.0", v.battRaw * 0.04) + " V";
  return v;
}

protocol::ConfigBlock DecodeConfigReply(const std::string& frame) {
  return protocol::ParseConfigBlock(Sub(frame, 8, 16));
}

ConfigView ShowConfigFlags(uint16_t flagsWord, uint16_t featureWord) {
  ConfigView v;
  FlagBoxes& b = v.boxes;
  b.flags12 = (flagsWord & kFlag3gTrigger) != 0;
  b.flags13 = (flagsWord & kFlagLedIsPeak) != 0;
  b.flags14 = (flagsWord & kFlagMetric) != 0;
  b.flags15 = (flagsWord & kFlagPercentG) != 0;
  b.flags17 = (flagsWord & kFlagMeasurePull) != 0;
  if (!b.flags15) b.flags14 = true;  // m/s² readings always come with metric units
  b.flags14Enabled = b.flags15;
  b.flags17Enabled = !b.flags12;
  v.plusModel = (featureWord & kFeaturePlusModel) != 0;
  v.pullFieldsVisible = b.flags17;
  v.notesFirstLine = b.flags12 ? "3%g start trigger" : "10%g start trigger";
  return v;
}

FlagBoxes Flags12CBClick(FlagBoxes boxes) {
  boxes.flags17Enabled = !boxes.flags12;
  if (boxes.flags12) boxes.flags17 = false;  // the 3 %g start trigger and pull exclude each other
  return boxes;
}

FlagBoxes Flags15CBClick(FlagBoxes boxes) {
  boxes.flags14Enabled = boxes.flags15;
  if (!boxes.flags15) boxes.flags14 = true;
  return boxes;
}

CollectedFlags CollectConfigFlags(uint16_t flagsWord, const FlagBoxes& boxes) {
  uint16_t w = flagsWord & kFlagsKept;
  if (boxes.flags12) w |= kFlag3gTrigger;
  if (boxes.flags13) w |= kFlagLedIsPeak;
  if (boxes.flags14) w |= kFlagMetric;
  if (boxes.flags15) w |= kFlagPercentG;
  if (boxes.flags17) w |= kFlagMeasurePull;
  return {w, w != flagsWord};
}

CalibrationView DecodeCalibrationReply(const std::string& frame) {
  CalibrationView v;
  v.versionChar = protocol::CharAt(frame, 17).value_or('c');
  v.versionText = std::string("Software Version: ") + v.versionChar;
  v.calibText = "Calibrate before:  " + Sub(frame, 12, 2) + "-" + Sub(frame, 10, 2) + "-" + Sub(frame, 8, 2);
  v.byWhoText = "Service Centre ID: " + Sub(frame, 14, 3);
  return v;
}

bool Flags12Visible(bool plusModel, char versionChar) {
  return plusModel && versionChar != 'a' && versionChar != 'b' && versionChar != 'c';
}

std::string DecodeClockReply(const std::string& frame) {
  return Sub(frame, 18, 2) + ":" + Sub(frame, 20, 2) + " " + Sub(frame, 14, 2) + "-" + Sub(frame, 12, 2) + "-" +
         Sub(frame, 10, 2);
}

ResultUnits UnitsOf(const FlagBoxes& boxes) { return {boxes.flags15, boxes.flags14, boxes.flags17}; }

ResultBlockView DecodeResultBlock(const std::string& frame, const ResultUnits& units) {
  ResultBlockView v;
  if (const protocol::ReadoutStep* row = protocol::RowForBlock(ByteAt(frame, 8))) {
    v.half = row->half;
    v.test = row->test;
  }
  if (v.half == BlockHalf::First) {
    v.first = {WordAt(frame, 10), ByteAt(frame, 16), WordAt(frame, 18), WordAt(frame, 22)};
    unsigned angle = v.first.angle;  // sign and magnitude: bit 7 set = right
    std::string side = "Left  ";
    if (angle > 127) {
      angle -= 128;
      side = "Right ";
    }
    using protocol::Quantity;
    using protocol::QuantityText;
    const auto format = [&](Quantity q) { return protocol::FormatOf(q, units.percentG, units.metric); };
    const protocol::QuantityFormat peak = format(Quantity::Peak), mean = format(Quantity::Mean);
    const protocol::QuantityFormat sideways = format(Quantity::PullSideways);
    v.peak = QuantityText(peak, v.first.peak * peak.scale);
    v.mean = QuantityText(mean, v.first.mean * mean.scale);
    // The sideways pull is indented by three spaces in %g and by one in m/s².
    v.sideways = (units.percentG ? "   " : " ") +
                 QuantityText(sideways, protocol::SidewaysPull(angle, v.first.mean, sideways.scale));
    v.angle = units.measurePull ? side + QuantityText(format(Quantity::PullAngle), angle) : " ";
    const protocol::QuantityFormat stop = format(Quantity::StopTime);
    v.stop = QuantityText(stop, v.first.stop * stop.scale);
  } else if (v.half == BlockHalf::Second) {
    v.second = {Sub(frame, 10, 10), ByteAt(frame, 20), WordAt(frame, 22)};
    const protocol::QuantityFormat speed = protocol::FormatOf(protocol::Quantity::Speed, units.percentG, units.metric);
    const protocol::QuantityFormat distance =
        protocol::FormatOf(protocol::Quantity::Distance, units.percentG, units.metric);
    v.speed = protocol::QuantityText(speed, v.second.speed * speed.scale);
    v.distance = protocol::QuantityText(distance, v.second.distance * distance.scale);
    v.date = Sub(frame, 16, 2) + ":" + Sub(frame, 18, 2) + " " + Sub(frame, 14, 2) + "-" + Sub(frame, 12, 2) + "-" +
             Sub(frame, 10, 2);
  }
  return v;
}

StepMove StepAfterReply(const std::string& frame, bool connected) {
  StepMove m;
  const char type = protocol::ReplyType(frame);
  if (type == '9' || type == 'T') return {StepMove::RestartReadout, 0};
  const protocol::ReadoutStep* row = protocol::RowForReply(frame);
  if (!row) return m;  // not ours, or a block address none of the six: the step stays
  // The status reply is also the once-a-second poll: while connected it leaves the step alone.
  if (type == '0' && connected) return m;
  m = {StepMove::SetStep, row->nextStep};
  m.setInterval100 = type == 'Q';
  m.checkConnected = row->nextStep == protocol::kConnectedStep;
  return m;
}

}  // namespace decoders
