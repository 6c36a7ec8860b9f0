// The fields of a read-out as the export formats (JSON and CSV) write them, shared by both so
// they agree: times in ISO 8601, the model's and the brake kinds' names, the instrument's
// single-byte texts as UTF-8, and the tests the window shows with their quantities and, under a
// regime, their verdicts. Pure: no Qt, no I/O.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/Quantities.h"
#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

namespace protocol {

// Milliseconds since 1970-01-01 UTC as "2026-05-14T10:32:07.250Z".
std::string IsoUtc(int64_t utcMs);

// The instrument's "yymmdd" as "20yy-mm-dd"; none unless six digits of a real date.
std::optional<std::string> IsoDate(const std::string& yymmdd);
// The instrument's "yymmdd" and "hhmm" as the local "20yy-mm-ddThh:mm"; none unless both are
// digits of a real date and time of day.
std::optional<std::string> IsoDateTime(const std::string& yymmdd, const std::string& hhmm);

// The instrument's clock as read ("yymmdd", weekday, "hhmm") and a test's second-half stamp
// ("yymmddhhmm"), as local ISO date-times; none when not a real date and time.
std::optional<std::string> ClockIso(const InstrumentState& state);
std::optional<std::string> RecordedAtIso(const TestState& test);

const char* ModelName(const InstrumentState& state);  // "dravik+" or "dravik"
const char* BrakeKey(BrakeKind brake);                 // "main", "secondary", "parking"
const char* ReadingKey(Reading reading);               // "peak", "mean"

// Single bytes from the instrument (Latin-1, as the window shows them) as UTF-8.
std::string Latin1ToUtf8(const std::string& latin1);

// One test as it is exported.
struct ExportedTest {
  int number = 1;
  std::optional<BrakeKind> brake;          // as ticked (TickedBrake)
  std::optional<std::string> recordedAt;   // RecordedAtIso
  std::vector<ShownQuantity> quantities;   // the shown quantities, in ShownQuantities' order
  std::optional<Assessment> assessment;    // only with a regime

  // The quantity `q` when shown, or null.
  const ShownQuantity* Find(Quantity q) const;
};

// The tests the window shows (ShownTests), with their verdicts when `regime` is given.
std::vector<ExportedTest> ExportedTests(const ReadoutRecord& record, const Regime* regime);

}  // namespace protocol
