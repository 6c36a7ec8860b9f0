// The simulated dravik instrument: its stored state (identity, configuration, calibration,
// clock, three brake tests) and the handling of one request frame into one reply frame.
// Pure: no I/O; the time comes in as a monotonic millisecond count.
#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/Protocol.h"

namespace sim {

// A wall-clock instant as the instrument keeps it (no time zone: the instrument shows what it
// was set to and runs on from there).
struct CivilTime {
  int year = 2000;  // full year, 2000..2099 on the wire
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CivilTime&) const = default;
};

// "yymmddhhmmss" (12 digits, year 20yy) to a time; nothing when malformed or not a real date.
std::optional<CivilTime> ParseClock(const std::string& yymmddhhmmss);
std::string FormatClock(const CivilTime& t);  // back to "yymmddhhmmss"
CivilTime AddSeconds(const CivilTime& t, int64_t seconds);

// One brake test as the two result blocks carry it.
struct TestRecord {
  // First half (block 20/30/40).
  uint16_t stop = 0;     // hundredths of a second
  uint8_t spare = 0;     // positions 14..15, not read by the program
  uint8_t angle = 0;     // bit 7 set = right, bits 0..6 degrees
  uint16_t mean = 0;     // tenths of %g or hundredths of m/s², by the flags
  uint16_t peak = 0;
  // Second half (block 28/38/48).
  std::string date = "000000";  // yymmdd, sent as is
  std::string time = "0000";    // hhmm, sent as is
  uint8_t speed = 0;            // kph or mph
  uint16_t distance = 0;        // tenths of a metre or feet
  bool operator==(const TestRecord&) const = default;
};

// What an erased test holds: every field zero, date "000000" and time "0000".
inline const TestRecord kErasedTest{};

// The instrument as configured at start (options, JSON) and as it stands later.
struct InstrumentSetup {
  std::string serial = "0123";      // four characters
  std::string version = "d";        // one character; empty: the '6' reply stops before it
  uint16_t featureWord = 0x0020;    // bit 5: plus model
  uint16_t flagsWord = 0xB000;      // Measure Pull, %g readings, Metric Units
  std::array<uint8_t, 4> setup{20, 4, 100, 25};
  std::string calibration = "270315";  // calibration due date yymmdd
  std::string serviceCentre = "D07";   // three characters
  std::optional<CivilTime> clock;      // the clock at start; none: the host's local time
  uint8_t temperature = 0x86;          // raw byte: 25.0 C
  uint8_t battery = 0xE1;              // raw byte: 9.0 V
  std::array<TestRecord, 3> tests = DefaultTests();
  int replyDelayMs = 15;  // from the end of a request to the start of its reply

  static std::array<TestRecord, 3> DefaultTests();
  bool plusModel() const { return (featureWord & 0x0020) != 0; }
};

// One accepted request and the reply it earns (the reply frame ends with its carriage return).
struct Answer {
  std::string body;   // the request's command body
  std::string reply;  // the reply frame, carriage return included
};

class Instrument {
public:
  // `nowMs` is the monotonic time at which the clock reads `setup.clock` (or `hostNow`).
  Instrument(InstrumentSetup setup, CivilTime hostNow, int64_t nowMs);

  // Handles one request frame from its '!' up to, not including, the carriage return. Requests
  // that are malformed, carry a wrong checksum or another instrument's address, or ask for
  // something the instrument does not know are ignored (nothing), as the real one does.
  std::optional<Answer> Handle(const std::string& request, int64_t nowMs);

  // Replaces the stored state (a control-channel "set"); the clock is set only when
  // `setup.clock` holds a time, and otherwise runs on.
  void Reconfigure(InstrumentSetup setup, int64_t nowMs);

  // The instrument's clock at `nowMs`.
  CivilTime ClockAt(int64_t nowMs) const;

  // The stored state; its `clock` is always empty (the running clock is ClockAt).
  const InstrumentSetup& setup() const { return setup_; }
  int requestsAnswered() const { return answered_; }

private:
  protocol::ConfigBlock StoredConfig() const;
  void StoreConfig(const protocol::ConfigBlock& block);
  std::optional<std::string> ReplyData(const std::string& body, int64_t nowMs);

  InstrumentSetup setup_;
  CivilTime clockAtSet_;
  int64_t setAtMs_;
  int answered_ = 0;
};

}  // namespace sim
