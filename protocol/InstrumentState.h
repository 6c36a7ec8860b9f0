// InstrumentState: everything a read-out of the instrument learns, as a plain value: identity,
// status, configuration, calibration, clock and the three brake tests, each as raw fields and
// as the texts the window shows, which parts have been read, the reply frames of the current
// read-out, and whether (and when) that read-out completed. ApplyReply takes one checked reply
// into it. Units follow the instrument's flags word as read. Pure: no I/O, no clock, no Qt.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/Decoders.h"
#include "protocol/ReadoutTable.h"

namespace protocol {

// One brake test: both halves' raw fields, the units each half was decoded in, and the texts
// of its boxes (T<n>PeakEB ... T<n>DateLAB).
struct TestState {
  bool firstRead = false;   // a first-half block of this test has been taken
  bool secondRead = false;  // a second-half block of this test has been taken
  decoders::FirstHalfFields first;
  decoders::SecondHalfFields second;
  decoders::ResultUnits firstUnits;
  decoders::ResultUnits secondUnits;
  std::string peak, mean, sideways, angle, stop;  // from the first half
  std::string speed, distance, date;              // from the second half
};

struct InstrumentState {
  // SerialEB: the serial number, which is also the address of every request; "####" while a
  // read-out asks for the identity.
  std::string serial;

  // Status ('0'): raw bytes and TempEDIT / BattEDIT.
  int tempRaw = 0;
  int battRaw = 0;
  std::string tempText, battText;

  // Configuration ('1'): the block as last read (the defaults of ConfigBlock until then) and
  // the boxes, model, pull visibility and first notes line it gives.
  ConfigBlock config;
  decoders::ConfigView configView;

  // Calibration ('6'): raw fields and the label texts. The version character is 0 until read.
  std::string calibrationDate;  // yymmdd, positions 8..13
  std::string serviceCentre;    // positions 14..16
  decoders::CalibrationView calibration{.versionChar = 0, .versionText = {}, .calibText = {}, .byWhoText = {}};

  // Clock ('S'): positions 10..21 as sent (yy mm dd, the weekday, hh mm) and DVtimeLAB.
  std::string clockRaw;
  std::string clockText;

  std::array<TestState, 3> tests;

  // Bit n: the reply of read-out step n has been taken, ever (validParts) or in the read-out
  // that is running or last ran (readoutParts).
  uint16_t validParts = 0;
  uint16_t readoutParts = 0;
  // The reply frames of that read-out, by step, as received (without the carriage return).
  std::array<std::string, kReadoutSteps> frames;
  // Every step's reply was taken in this read-out and its last block has come.
  bool complete = false;
  // The PC's time when it completed: milliseconds since 1970-01-01 UTC.
  std::optional<int64_t> completedAtUtcMs;

  bool plusModel() const { return configView.plusModel; }
  bool has(int step) const { return (validParts >> step & 1u) != 0; }
  // The units result blocks are decoded in: the flags word as read (all off before any read,
  // as the window's boxes are).
  decoders::ResultUnits UnitsAsRead() const;
};

// What a reply changed.
enum class StatePart { None, Identity, Status, Config, Calibration, Clock, Result };
struct AppliedReply {
  StatePart part = StatePart::None;
  int test = 0;  // for Result: 1..3
  BlockHalf half = BlockHalf::Unknown;
  decoders::StepMove move;  // how the read-out goes on
};

// Takes a checked, valid reply (without its carriage return) into `state`. `connected`: the
// read-out has completed and the controller polls (a status reply then leaves the step alone).
// A reply that moves the read-out to its next step is kept in `frames`.
AppliedReply ApplyReply(InstrumentState& state, const std::string& frame, bool connected);

// A read-out begins (the identity request is about to go out): the values stay, what the new
// read-out has taken starts empty, and the address is "####" again.
void BeginReadout(InstrumentState& state);

// The read-out's last block has come at `nowUtcMs`: complete when every step's reply was taken.
bool FinishReadout(InstrumentState& state, int64_t nowUtcMs);

}  // namespace protocol
