// Display-pattern formatting of numbers and dates. Portable C++: the locale is read through
// localeconv() and strftime(), both standard C, after the program's setlocale().
#include "platform/formatting.h"

#include <array>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>

namespace platform {
namespace {

// One parsed number pattern: literal prefix, placeholders, literal suffix.
struct NumberPattern {
  std::string prefix;
  std::string suffix;
  int minIntegerDigits = 0;   // '0's before the point
  int minDecimals = 0;        // placeholders after the point up to the last '0'
  int maxDecimals = 0;        // every placeholder after the point
  bool valid = false;         // false when the pattern has no digit placeholder at all
};

NumberPattern ParsePattern(const std::string& pattern) {
  NumberPattern p;
  const auto start = pattern.find_first_of("#0");
  if (start == std::string::npos) return p;
  p.valid = true;
  std::size_t i = start;
  // A point before the first placeholder belongs to the run as well ("#.0" style patterns do not
  // occur in the program, but ".0" must not be copied as literal text).
  std::size_t runStart = start;
  if (runStart > 0 && pattern[runStart - 1] == '.') --runStart;
  p.prefix = pattern.substr(0, runStart);
  bool afterPoint = runStart < start;
  for (; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '.') {
      if (afterPoint) break;  // a second point ends the run
      afterPoint = true;
    } else if (c == '0' || c == '#') {
      if (!afterPoint) {
        if (c == '0') ++p.minIntegerDigits;
      } else {
        ++p.maxDecimals;
        if (c == '0') p.minDecimals = p.maxDecimals;
      }
    } else {
      break;
    }
  }
  p.suffix = pattern.substr(i);
  return p;
}

// Adds one unit in the last place of a string of decimal digits; returns true on carry out.
bool IncrementDigits(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return false;
    }
    *it = '0';
  }
  return true;
}

}  // namespace

std::string FormatFloat(const std::string& pattern, double value, char decimalSeparator) {
  const NumberPattern p = ParsePattern(pattern);
  if (!p.valid) return pattern;
  if (std::isnan(value)) return p.prefix + "NAN" + p.suffix;
  if (std::isinf(value)) return p.prefix + (value < 0 ? "-INF" : "INF") + p.suffix;

  // Shortest fixed-notation text that reads back as the same double: rounding works on the
  // digits a person would write, not on the binary value's exact expansion.
  std::array<char, 400> buffer{};  // 309 integer digits or 340 decimals at most
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                       std::chars_format::fixed);
  std::string text = ec == std::errc{} ? std::string(buffer.data(), end) : std::string("0");
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.erase(0, 1);
  }
  const auto point = text.find('.');
  std::string integer = text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);

  // Round half away from zero at maxDecimals: the sign is handled apart, so rounding the
  // magnitude up is "away from zero".
  if (static_cast<int>(fraction.size()) > p.maxDecimals) {
    const bool roundUp = fraction[p.maxDecimals] >= '5';
    fraction.resize(p.maxDecimals);
    if (roundUp && IncrementDigits(fraction)) {
      if (IncrementDigits(integer)) integer.insert(integer.begin(), '1');
    }
  }
  while (static_cast<int>(fraction.size()) < p.minDecimals) fraction.push_back('0');
  while (static_cast<int>(fraction.size()) > p.minDecimals && fraction.back() == '0') fraction.pop_back();

  const auto firstNonZero = integer.find_first_not_of('0');
  integer = firstNonZero == std::string::npos ? std::string() : integer.substr(firstNonZero);
  while (static_cast<int>(integer.size()) < p.minIntegerDigits) integer.insert(integer.begin(), '0');

  const bool isZero = integer.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
  std::string out = p.prefix;
  if (negative && !isZero) out += '-';  // directly before the first digit
  out += integer;
  if (!fraction.empty()) {
    out += decimalSeparator;
    out += fraction;
  }
  if (integer.empty() && fraction.empty()) out += '0';  // "#" alone on zero still shows a digit
  out += p.suffix;
  return out;
}

std::string FormatFloat(const std::string& pattern, double value) {
  return FormatFloat(pattern, value, DecimalSeparator());
}

char DecimalSeparator() {
  const std::lconv* conv = std::localeconv();  // never null; fields may be empty strings
  if (conv && conv->decimal_point && conv->decimal_point[0] != '\0') return conv->decimal_point[0];
  return '.';
}

namespace {

std::string TwoDigits(int n) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", n);
  return b;
}

// The locale's month name through strftime (%b short, %B full); the English name's first three
// letters when the locale gives nothing.
std::string MonthName(int month0, bool full) {
  static constexpr const char* kFallback[12] = {"January", "February", "March",     "April",   "May",      "June",
                                                "July",    "August",   "September", "October", "November", "December"};
  const int m = month0 < 0 ? 0 : (month0 > 11 ? 11 : month0);
  std::tm t{};
  t.tm_mon = m;
  t.tm_mday = 1;
  t.tm_year = 100;
  char b[64];
  const std::size_t n = std::strftime(b, sizeof b, full ? "%B" : "%b", &t);
  if (n > 0) return std::string(b, n);
  return full ? kFallback[m] : std::string(kFallback[m], 3);
}

}  // namespace

std::string FormatDateTime(const std::string& pattern, const std::tm& t) {
  std::string out;
  bool lastWasHour = false;  // "mm" right after an hour token means minutes
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    std::size_t run = 1;
    while (i + run < pattern.size() &&
           std::tolower(static_cast<unsigned char>(pattern[i + run])) == static_cast<unsigned char>(c))
      ++run;
    switch (c) {
      case 'y':
        out += run >= 4 ? std::to_string(t.tm_year + 1900) : TwoDigits((t.tm_year + 1900) % 100);
        lastWasHour = false;
        break;
      case 'm':
        if (lastWasHour && run <= 2) {
          out += run == 2 ? TwoDigits(t.tm_min) : std::to_string(t.tm_min);
        } else if (run >= 4) {
          out += MonthName(t.tm_mon, true);
        } else if (run == 3) {
          out += MonthName(t.tm_mon, false);
        } else {
          out += run == 2 ? TwoDigits(t.tm_mon + 1) : std::to_string(t.tm_mon + 1);
        }
        lastWasHour = false;
        break;
      case 'd':
        out += run >= 2 ? TwoDigits(t.tm_mday) : std::to_string(t.tm_mday);
        lastWasHour = false;
        break;
      case 'h':
        out += run >= 2 ? TwoDigits(t.tm_hour) : std::to_string(t.tm_hour);
        lastWasHour = true;
        break;
      case 'n':
        out += run >= 2 ? TwoDigits(t.tm_min) : std::to_string(t.tm_min);
        lastWasHour = false;
        break;
      case 's':
        out += run >= 2 ? TwoDigits(t.tm_sec) : std::to_string(t.tm_sec);
        lastWasHour = false;
        break;
      default:
        out.append(pattern, i, run);  // separators keep an hour token's effect on "mm"
        break;
    }
    i += run;
  }
  return out;
}

}  // namespace platform
