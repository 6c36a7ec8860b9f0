// Fields of the export formats.
#include "protocol/ExportFields.h"

#include <chrono>
#include <cstdio>

#include "protocol/Protocol.h"

namespace protocol {

namespace {

// The number in two decimal digits of `text` at `pos` (0-based), or -1.
int TwoDigits(const std::string& text, std::size_t pos) {
  if (pos + 2 > text.size()) return -1;
  const char a = text[pos], b = text[pos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  return (a - '0') * 10 + (b - '0');
}

}  // namespace

std::string IsoUtc(int64_t utcMs) {
  using namespace std::chrono;
  const sys_time<milliseconds> at{milliseconds(utcMs)};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{at - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()), unsigned(date.month()),
                unsigned(date.day()), int(time.hours().count()), int(time.minutes().count()),
                int(time.seconds().count()), int(time.subseconds().count()));
  return text;
}

std::optional<std::string> IsoDate(const std::string& yymmdd) {
  const int yy = TwoDigits(yymmdd, 0), mm = TwoDigits(yymmdd, 2), dd = TwoDigits(yymmdd, 4);
  if (yymmdd.size() != 6 || yy < 0 || mm < 0 || dd < 0) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(2000 + yy), std::chrono::month(unsigned(mm)),
                                         std::chrono::day(unsigned(dd))};
  if (!date.ok()) return std::nullopt;
  char text[16];
  std::snprintf(text, sizeof text, "20%02d-%02d-%02d", yy, mm, dd);
  return text;
}

std::optional<std::string> IsoDateTime(const std::string& yymmdd, const std::string& hhmm) {
  const std::optional<std::string> date = IsoDate(yymmdd);
  const int hh = TwoDigits(hhmm, 0), mi = TwoDigits(hhmm, 2);
  if (!date || hhmm.size() != 4 || hh < 0 || hh > 23 || mi < 0 || mi > 59) return std::nullopt;
  char text[8];
  std::snprintf(text, sizeof text, "T%02d:%02d", hh, mi);
  return *date + text;
}

std::optional<std::string> ClockIso(const InstrumentState& state) {
  // clockRaw: yymmdd, the weekday (not read), hhmm.
  return IsoDateTime(Sub(state.clockRaw, 1, 6), Sub(state.clockRaw, 9, 4));
}

std::optional<std::string> RecordedAtIso(const TestState& test) {
  return IsoDateTime(Sub(test.second.stamp, 1, 6), Sub(test.second.stamp, 7, 4));
}

const char* ModelName(const InstrumentState& state) { return state.plusModel() ? "dravik+" : "dravik"; }

const char* BrakeKey(BrakeKind brake) {
  switch (brake) {
    case BrakeKind::Main: return "main";
    case BrakeKind::Secondary: return "secondary";
    case BrakeKind::Parking: return "parking";
  }
  return "";
}

const char* ReadingKey(Reading reading) { return reading == Reading::Peak ? "peak" : "mean"; }

std::string Latin1ToUtf8(const std::string& latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (const char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

const ShownQuantity* ExportedTest::Find(Quantity q) const {
  for (const ShownQuantity& shown : quantities)
    if (shown.quantity == q) return &shown;
  return nullptr;
}

std::vector<ExportedTest> ExportedTests(const ReadoutRecord& record, const Regime* regime) {
  std::vector<ExportedTest> tests;
  for (int number : ShownTests(record.state)) {
    ExportedTest t;
    t.number = number;
    t.brake = TickedBrake(record, number);
    t.recordedAt = RecordedAtIso(record.state.tests[static_cast<std::size_t>(number - 1)]);
    t.quantities = ShownQuantitiesOf(record.state, number);
    if (regime) t.assessment = Assess(record, number, *regime);
    tests.push_back(std::move(t));
  }
  return tests;
}

}  // namespace protocol
