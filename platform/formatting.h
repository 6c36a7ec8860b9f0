// Number and date formatting with the program's display patterns: "##0.0", " ##0.0", "#0.00",
// "##0.00", "##0", "###0" ("0" a digit always shown, "#" a digit shown only when significant,
// rounding half away from zero, the user's decimal separator, no thousands separator, other
// characters copied), and the date/time patterns "hh:mm:ss", "dd-mmm-yy" and "yymmddhhmmss".
#pragma once
#include <ctime>
#include <string>

namespace platform {

// Formats `value` with a display pattern and the user's decimal separator. The pattern is
// optional literal text, one run of '#', '0' and '.', then optional literal text; the literal
// parts are copied. The number is rounded on its shortest round-trip decimal form, so 0.05 is
// "0.1" and 650 * 0.1 (65.00000000000001 in binary) is "65.0". A minus sign goes directly
// before the first digit, after any leading literal text: " ##0.0" gives " -42.0". A value that
// rounds to zero has no sign. NaN and infinities show as "NAN", "INF" and "-INF".
std::string FormatFloat(const std::string& pattern, double value);

// The same with an explicit decimal separator (the locale-free core of the above).
std::string FormatFloat(const std::string& pattern, double value, char decimalSeparator);

// The user's decimal separator (from the LC_NUMERIC locale, '.' when it has none).
char DecimalSeparator();

// Formats a local broken-down time: hh, nn (minutes, also mm after hh), ss, dd, mm, mmm (the
// locale's short month name), yy, yyyy; other characters are copied. Single letters h, n, s,
// d, m give the number without a leading zero; mmmm is the locale's full month name.
std::string FormatDateTime(const std::string& pattern, const std::tm& localTime);

}  // namespace platform
