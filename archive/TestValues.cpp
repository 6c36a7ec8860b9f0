// A brake test's numbers and units, and the instrument's stamps as ISO texts.
#include "archive/TestValues.h"

#include <cctype>
#include <cmath>
#include <numbers>

namespace archive {

namespace {

bool Digits(const std::string& s, std::size_t count) {
  if (s.size() != count) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int Two(const std::string& s, std::size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

int DaysIn(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

std::optional<std::string> IsoDate(const std::string& yymmdd) {
  if (!Digits(yymmdd, 6)) return std::nullopt;
  const int month = Two(yymmdd, 2), day = Two(yymmdd, 4);
  if (month < 1 || month > 12 || day < 1 || day > DaysIn(2000 + Two(yymmdd, 0), month)) return std::nullopt;
  return "20" + yymmdd.substr(0, 2) + "-" + yymmdd.substr(2, 2) + "-" + yymmdd.substr(4, 2);
}

std::optional<std::string> IsoDateTime(const std::string& yymmddhhmm) {
  if (!Digits(yymmddhhmm, 10)) return std::nullopt;
  const std::optional<std::string> date = IsoDate(yymmddhhmm.substr(0, 6));
  if (!date || Two(yymmddhhmm, 6) > 23 || Two(yymmddhhmm, 8) > 59) return std::nullopt;
  return *date + "T" + yymmddhhmm.substr(6, 2) + ":" + yymmddhhmm.substr(8, 2);
}

std::optional<std::string> InstrumentClock(const protocol::InstrumentState& state) {
  const std::string& raw = state.clockRaw;  // yy mm dd, weekday, hh mm
  if (raw.size() != 12) return std::nullopt;
  return IsoDateTime(raw.substr(0, 6) + raw.substr(8, 4));
}

TestValues ValuesOf(const protocol::TestState& t) {
  TestValues v;
  // Readings: tenths of %g, else hundredths of m/s². Dividing the whole raw number gives the
  // double nearest to the decimal the text shows (650 / 10 = 65.0 exactly as shown).
  const bool percentG = t.firstUnits.percentG;
  const double readingsPer = percentG ? 10.0 : 100.0;
  const std::string readingUnit = percentG ? "%g" : "m/s/s";
  v.peak = {t.first.peak / readingsPer, readingUnit, t.peak};
  v.mean = {t.first.mean / readingsPer, readingUnit, t.mean};
  v.stop = {t.first.stop / 100.0, "sec", t.stop};

  unsigned angle = t.first.angle;  // bit 7 set: to the right
  v.pullSide = angle > 127 ? "right" : "left";
  if (angle > 127) angle -= 128;
  v.pullAngle = {static_cast<double>(angle), "deg", t.angle};
  // One decimal in both units, rounded as the text is.
  const double sideways = std::sin(angle * std::numbers::pi / 180) * t.first.mean / readingsPer;
  v.pullSideways = {std::round(sideways * 10) / 10, readingUnit, t.sideways};

  // Speed in whole kph or mph; distance in tenths of a metre, else whole feet.
  const bool metric = t.secondUnits.metric;
  v.speed = {static_cast<double>(t.second.speed), metric ? "kph" : "mph", t.speed};
  v.distance = {metric ? t.second.distance / 10.0 : static_cast<double>(t.second.distance), metric ? "mtr" : "feet",
                t.distance};
  v.recordedAt = IsoDateTime(t.second.stamp);
  return v;
}

}  // namespace archive
