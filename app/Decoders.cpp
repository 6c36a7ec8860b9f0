// Reply decoders: frame fields to display texts, with the program's units and patterns.
#include "app/Decoders.h"

#include <cmath>
#include <numbers>
#include <tuple>

#include "platform/formatting.h"

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
  protocol::ConfigBlock b;
  b.setupByte1 = static_cast<uint8_t>(ByteAt(frame, 8));
  b.setupByte2 = static_cast<uint8_t>(ByteAt(frame, 10));
  b.featureWord = static_cast<uint16_t>(WordAt(frame, 12));
  b.setupByte3 = static_cast<uint8_t>(ByteAt(frame, 16));
  b.setupByte4 = static_cast<uint8_t>(ByteAt(frame, 18));
  b.flagsWord = static_cast<uint16_t>(WordAt(frame, 20));
  return b;
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

std::string ReplaceFirstLine(const std::string& text, const std::string& line) {
  const auto lineEnd = text.find_first_of("\r\n");
  if (lineEnd == std::string::npos) return line;
  return line + text.substr(lineEnd);
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

namespace {

// Block address to (half, test); Unknown for any other address.
std::pair<BlockHalf, int> ClassifyBlock(unsigned aa) {
  switch (aa) {
    case 0x20: return {BlockHalf::First, 1};
    case 0x30: return {BlockHalf::First, 2};
    case 0x40: return {BlockHalf::First, 3};
    case 0x28: return {BlockHalf::Second, 1};
    case 0x38: return {BlockHalf::Second, 2};
    case 0x48: return {BlockHalf::Second, 3};
    default: return {BlockHalf::Unknown, 0};
  }
}

// Step after a block: 6, 8, 10 after the first halves, 7, 9, 11 after the second halves.
std::optional<int> StepAfterBlock(BlockHalf half, int test) {
  if (half == BlockHalf::Unknown) return std::nullopt;
  return 4 + 2 * test + (half == BlockHalf::Second ? 1 : 0);
}

}  // namespace

ResultBlockView DecodeResultBlock(const std::string& frame, const ResultUnits& units) {
  ResultBlockView v;
  v.blockAddress = ByteAt(frame, 8);
  std::tie(v.half, v.test) = ClassifyBlock(v.blockAddress);
  v.nextStep = StepAfterBlock(v.half, v.test);
  if (v.half == BlockHalf::First) {
    const unsigned stop = WordAt(frame, 10);  // hundredths of a second
    unsigned angle = ByteAt(frame, 16);       // sign and magnitude: bit 7 set = right
    const unsigned mean = WordAt(frame, 18);
    const unsigned peak = WordAt(frame, 22);
    std::string side = "Left  ";
    if (angle > 127) {
      angle -= 128;
      side = "Right ";
    }
    const double sine = std::sin(angle * std::numbers::pi / 180);
    if (units.percentG) {  // tenths of %g
      v.peak = platform::FormatFloat("##0.0", peak * 0.1) + " %g";
      v.mean = platform::FormatFloat("##0.0", mean * 0.1) + " %g";
      v.sideways = "   " + platform::FormatFloat("##0.0", sine * 0.1 * mean) + " %g";
    } else {  // hundredths of m/s²; the sideways pull keeps one decimal in both units
      v.peak = platform::FormatFloat("#0.00", peak * 0.01) + " m/s/s";
      v.mean = platform::FormatFloat("#0.00", mean * 0.01) + " m/s/s";
      v.sideways = " " + platform::FormatFloat("##0.0", sine * 0.01 * mean) + " m/s/s";
    }
    v.angle = units.measurePull ? side + platform::FormatFloat("##0", angle) + " deg" : " ";
    v.stop = platform::FormatFloat("##0.00", stop * 0.01) + " sec";
  } else if (v.half == BlockHalf::Second) {
    const unsigned speed = ByteAt(frame, 20);
    const unsigned distance = WordAt(frame, 22);
    if (units.metric) {  // whole kph, tenths of a metre
      v.speed = platform::FormatFloat("##0", speed) + " kph";
      v.distance = platform::FormatFloat("##0.0", distance * 0.1) + " mtr";
    } else {  // whole mph, whole feet
      v.speed = platform::FormatFloat("##0", speed) + " mph";
      v.distance = platform::FormatFloat("###0", distance * 1.0) + " feet";
    }
    v.date = Sub(frame, 16, 2) + ":" + Sub(frame, 18, 2) + " " + Sub(frame, 14, 2) + "-" + Sub(frame, 12, 2) + "-" +
             Sub(frame, 10, 2);
    v.readoutComplete = v.test == 3;
  }
  return v;
}

StepMove StepAfterReply(const std::string& frame, bool connected) {
  StepMove m;
  switch (protocol::ReplyType(frame)) {
    case '0':
      if (!connected) m = {StepMove::SetStep, 2};
      break;
    case '1': m = {StepMove::SetStep, 3}; break;
    case '6': m = {StepMove::SetStep, 4}; break;
    case 'S': m = {StepMove::SetStep, 5}; break;
    case 'Q':
      m = {StepMove::SetStep, 1};
      m.setInterval100 = true;
      break;
    case '9':
    case 'T': m = {StepMove::RestartReadout, 0}; break;
    case '8': {
      const auto [half, test] = ClassifyBlock(ByteAt(frame, 8));
      if (const auto step = StepAfterBlock(half, test)) {
        m = {StepMove::SetStep, *step};
        m.checkConnected = half == BlockHalf::Second && test == 3;
      }
      break;
    }
    default: break;
  }
  return m;
}

}  // namespace decoders
