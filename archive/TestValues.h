// The numbers behind the texts the window shows for one brake test, as the archive keeps them
// (from protocol/Quantities, the same numbers the exports write): each quantity as the number
// its text shows (to the text's decimals), its unit ("%g", "m/s/s", "kph", "mph", "mtr", "feet",
// "sec", "deg") and the text itself, and the instrument's date stamps as ISO 8601 texts. The
// archive keeps them beside the texts so that nothing that reads it has to parse a text.
// Pure: no Qt, no I/O.
#pragma once
#include <optional>
#include <string>

#include "protocol/InstrumentState.h"

namespace archive {

struct ShownValue {
  double number = 0;  // 65.0 for "65.0 %g"
  std::string unit;   // "%g"
  std::string text;   // the window's text, as the state holds it (Latin-1 bytes)
};

struct TestValues {
  ShownValue peak, mean, stop, speed, distance;
  ShownValue pullAngle;     // degrees, 0 .. 127; the text is " " when "Measure Pull" is off
  ShownValue pullSideways;  // the sideways part of the mean deceleration, one decimal
  std::string pullSide;     // "left" or "right"
  std::optional<std::string> recordedAt;  // the test's stamp as local "2026-05-14T10:32"
};

// From the test's raw fields in the units each half was decoded in.
TestValues ValuesOf(const protocol::TestState& test);

// "yymmdd" as the instrument sends it to "20yy-mm-dd"; none when it is not a calendar date.
std::optional<std::string> IsoDate(const std::string& yymmdd);
// The instrument clock of the 'S' reply (the state's clockRaw, "yymmddWWhhmm") as
// "20yy-mm-ddThh:mm"; none when it is not a date and time.
std::optional<std::string> InstrumentClock(const protocol::InstrumentState& state);

}  // namespace archive
