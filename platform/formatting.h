// Number and date formatting with the program's display patterns: "##0.0", " ##0.0", "#0.00",
// "##0.00", "##0", "###0" ("0" a digit always shown, "#" a digit shown only when significant,
// rounding half away from zero, the user's decimal separator, no thousands separator, other
// characters copied), and the date/time patterns "hh:mm:ss", "dd-mmm-yy" and "yymmddhhmmss".
#pragma once
#include <ctime>
#include <string>

namespace platform {

std::string FormatFloat(const std::string& pattern, double value);

// The user's decimal separator (from the LC_NUMERIC locale, '.' when it has none).
char DecimalSeparator();

// Formats a local broken-down time: hh, nn (minutes, also mm after hh), ss, dd, mm, mmm (the
// locale's short month name), yy, yyyy; other characters are copied.
std::string FormatDateTime(const std::string& pattern, const std::tm& localTime);

}  // namespace platform
