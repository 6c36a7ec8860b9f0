// Decoding of the instrument's replies into the texts and values the window shows, and the pure
// rules behind the configuration check boxes and the read-out steps. Each decoder takes a reply
// frame (already checked) plus the configuration it depends on and returns plain values.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/Protocol.h"
#include "protocol/ReadoutTable.h"

namespace decoders {

// --- 'Q': identity ----------------------------------------------------------------------------

// The serial number (positions 8..11): the new text of SerialEB and the address of every
// following request.
std::string DecodeSerialReply(const std::string& frame);

// --- '0': status ------------------------------------------------------------------------------

struct StatusView {
  int tempRaw = 0;
  int battRaw = 0;
  std::string tempText;  // TempEDIT: " 25.0 C"
  std::string battText;  // BattEDIT: " 9.0 V"
};
StatusView DecodeStatusReply(const std::string& frame);

// --- '1': configuration -----------------------------------------------------------------------

// The reply's configuration block: setup bytes, FeatureWord and FlagsWord.
protocol::ConfigBlock DecodeConfigReply(const std::string& frame);

// Flag bits of FlagsWord and their check boxes.
constexpr uint16_t kFlag3gTrigger = 0x0400;    // bit 10, Flags12CB "3%g trigger"
constexpr uint16_t kFlagLedIsPeak = 0x0800;    // bit 11, Flags13CB "LED is peak"
constexpr uint16_t kFlagMetric = 0x1000;       // bit 12, Flags14CB "Metric Units"
constexpr uint16_t kFlagPercentG = 0x2000;     // bit 13, Flags15CB "%g readings"
constexpr uint16_t kFlagMeasurePull = 0x8000;  // bit 15, Flags17CB "Measure Pull"
// Bits the check boxes do not own (0-9 and 14); they pass through an edit unchanged.
constexpr uint16_t kFlagsKept = 0x43FF;
constexpr uint16_t kFeaturePlusModel = 0x0020;  // bit 5 of FeatureWord

// Checked and enabled states of the five configuration check boxes.
struct FlagBoxes {
  bool flags12 = false;  // "3%g trigger"
  bool flags13 = false;  // "LED is peak"
  bool flags14 = false;  // "Metric Units"
  bool flags15 = false;  // "%g readings"
  bool flags17 = false;  // "Measure Pull"
  bool flags14Enabled = true;
  bool flags17Enabled = true;
  bool operator==(const FlagBoxes&) const = default;
};

// What a configuration read shows: the boxes, the model, the pull fields' visibility and the
// new first line of the examiner's notes.
struct ConfigView {
  FlagBoxes boxes;
  bool plusModel = false;
  bool pullFieldsVisible = false;  // the six T<n>PullEB / T<n>PullGEB boxes
  std::string notesFirstLine;      // "3%g start trigger" or "10%g start trigger"
};

// FlagsWord and FeatureWord to the boxes. m/s² readings always come with metric units, and
// "Measure Pull" follows bit 15 even when bit 10 is set (it is then checked and disabled).
ConfigView ShowConfigFlags(uint16_t flagsWord, uint16_t featureWord);

// Click on "3%g trigger": `boxes` holds the box's new checked state; "Measure Pull" is enabled
// only while it is unchecked and is unchecked when it becomes checked.
FlagBoxes Flags12CBClick(FlagBoxes boxes);

// Click on "%g readings": "Metric Units" is enabled only while it is checked, and is checked
// when it becomes unchecked.
FlagBoxes Flags15CBClick(FlagBoxes boxes);

struct CollectedFlags {
  uint16_t newFlagsWord = 0;
  bool applyEnabled = false;  // ConfigBUT ("APPLY"): the edit differs from the instrument
};
CollectedFlags CollectConfigFlags(uint16_t flagsWord, const FlagBoxes& boxes);

// --- '6': calibration -------------------------------------------------------------------------

struct CalibrationView {
  char versionChar = 'c';   // position 17; 'c' when the frame has none
  std::string versionText;  // VersionLAB: "Software Version: d"
  std::string calibText;    // CalibLAB: "Calibrate before:  15-03-27"
  std::string byWhoText;    // ByWhoLAB: "Service Centre ID: D07"
};
CalibrationView DecodeCalibrationReply(const std::string& frame);

// "3%g trigger" (Flags12CB) is shown only for plus models whose version is not 'a', 'b' or 'c'.
bool Flags12Visible(bool plusModel, char versionChar);

// --- 'S': clock -------------------------------------------------------------------------------

// DVtimeLAB: "hh:mm dd-mm-yy" as the instrument sends it ("12:15 12-03-05").
std::string DecodeClockReply(const std::string& frame);

// --- '8': result blocks -----------------------------------------------------------------------

// The flags that choose units and what a result block shows.
struct ResultUnits {
  bool percentG = false;     // Flags15CB "%g readings": tenths of %g, else hundredths of m/s²
  bool metric = false;       // Flags14CB "Metric Units": kph and tenths of metres, else mph and feet
  bool measurePull = false;  // Flags17CB "Measure Pull"
  bool operator==(const ResultUnits&) const = default;
};

// The units of the configuration as the boxes show it after a read (ShowConfigFlags).
ResultUnits UnitsOf(const FlagBoxes& boxes);

using protocol::BlockHalf;

// The raw fields of a result block (positions of the reply frame in the comments).
struct FirstHalfFields {
  unsigned stop = 0;   // 10..13, hundredths of a second
  unsigned angle = 0;  // 16..17, bit 7 set = right, bits 0..6 degrees
  unsigned mean = 0;   // 18..21, tenths of %g or hundredths of m/s²
  unsigned peak = 0;   // 22..25
  bool operator==(const FirstHalfFields&) const = default;
};
struct SecondHalfFields {
  std::string stamp;      // 10..19: yymmddhhmm as the instrument sends it
  unsigned speed = 0;     // 20..21, kph or mph
  unsigned distance = 0;  // 22..25, tenths of a metre or feet
  bool operator==(const SecondHalfFields&) const = default;
};

struct ResultBlockView {
  BlockHalf half = BlockHalf::Unknown;
  int test = 0;  // 1..3; 0 for an unknown block (nothing changes then)
  FirstHalfFields first;    // for a first half
  SecondHalfFields second;  // for a second half
  // First half (blocks 0x20, 0x30, 0x40): T<n>PeakEB, MeanEB, PullGEB, PullEB, StopEB.
  std::string peak, mean, sideways, angle, stop;
  // Second half (blocks 0x28, 0x38, 0x48): T<n>SpeedEB, DistEB, DateLAB.
  std::string speed, distance, date;
};
ResultBlockView DecodeResultBlock(const std::string& frame, const ResultUnits& units);

// --- Read-out steps ---------------------------------------------------------------------------

struct StepMove {
  enum Kind { Unchanged, SetStep, RestartReadout } kind = Unchanged;
  int step = 0;  // for SetStep
  bool setInterval100 = false;  // the 'Q' reply also puts the timer back to 100 ms
  bool checkConnected = false;  // the last result block completes the read-out
};

// How a valid reply moves the read-out, by its row of the read-out table ('9' and 'T' restart
// it), whatever step sent the request: the step follows the reply, not the request.
StepMove StepAfterReply(const std::string& frame, bool connected);

}  // namespace decoders
