// Display-pattern formatting of numbers and dates, with the C locale and a comma locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include <unistd.h>

#include "platform/formatting.h"

namespace {

struct FloatCase {
  const char* pattern;
  double value;
  const char* expected;
};

void PrintTo(const FloatCase& c, std::ostream* os) { *os << c.pattern << " " << c.value << " gives " << c.expected; }

class FormatFloatTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FormatFloatTest, MatchesPattern) {
  const FloatCase& c = GetParam();
  EXPECT_EQ(platform::FormatFloat(c.pattern, c.value, '.'), c.expected) << c.pattern << " " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    DisplayPatterns, FormatFloatTest,
    ::testing::Values(
        // The leading space is literal text; the minus goes before the first digit.
        FloatCase{" ##0.0", 25.0, " 25.0"}, FloatCase{" ##0.0", -42.0, " -42.0"},
        FloatCase{" ##0.0", 225 * 0.04, " 9.0"}, FloatCase{"#0.00", 650 * 0.01, "6.50"},
        FloatCase{"##0.00", 250 * 0.01, "2.50"}, FloatCase{"###0", 291, "291"}, FloatCase{"##0", 30, "30"},
        FloatCase{"##0.0", 0.04, "0.0"}, FloatCase{"##0.0", 650 * 0.1, "65.0"}, FloatCase{"##0.0", 291 * 0.1, "29.1"},
        FloatCase{"##0.0", 1234.5, "1234.5"},  // more digits than placeholders: all shown, no grouping
        // Ties round away from zero on the decimal text, including values binary cannot hold.
        FloatCase{"##0.0", 0.05, "0.1"}, FloatCase{"#0.0", 2.25, "2.3"}, FloatCase{"##0.0", -0.05, "-0.1"},
        FloatCase{"##0.0", 0.15, "0.2"}, FloatCase{"##0", 2.5, "3"}, FloatCase{"##0.0", 9.95, "10.0"},
        FloatCase{"##0.00", 0.995, "1.00"},
        // Products that land just below a tie in binary still come out as written.
        FloatCase{"##0.0", 0.49999999999999994 * 0.1 * 500, "25.0"},
        FloatCase{"##0.0", 0.49999999999999994 * 0.01 * 500, "2.5"},
        // A value that rounds to zero carries no sign.
        FloatCase{"##0.0", -0.04, "0.0"}, FloatCase{" ##0.0", -0.0, " 0.0"},
        // Optional decimals; text after the pattern is copied.
        FloatCase{"0.0#", 1.5, "1.5"}, FloatCase{"0.0#", 1.25, "1.25"}, FloatCase{"##0 deg", 7, "7 deg"},
        FloatCase{"00", 5, "05"}, FloatCase{"##0.0", 1e20, "100000000000000000000.0"}));

TEST(FormatFloat, OddInputs) {
  EXPECT_EQ(platform::FormatFloat("none", 1.0, '.'), "none");
  EXPECT_EQ(platform::FormatFloat("##0.0", std::numeric_limits<double>::quiet_NaN(), '.'), "NAN");
  EXPECT_EQ(platform::FormatFloat(" ##0.0", -std::numeric_limits<double>::infinity(), '.'), " -INF");
}

TEST(FormatFloat, UsesTheGivenSeparator) {
  EXPECT_EQ(platform::FormatFloat(" ##0.0", 25.0, ','), " 25,0");
  EXPECT_EQ(platform::FormatFloat("###0", 291, ','), "291");
}

// The real locale path: LC_NUMERIC decides the separator. A German locale is compiled into a
// private folder when the machine has localedef and the locale sources.
TEST(FormatFloat, FollowsTheNumericLocale) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(platform::DecimalSeparator(), '.');
  EXPECT_EQ(platform::FormatFloat("#0.00", 6.5), "6.50");

  const auto dir = std::filesystem::temp_directory_path() / ("dravik-locale-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string cmd = "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
  const bool built = std::system(cmd.c_str()) == 0 || std::filesystem::exists(dir / "de_DE.UTF-8");
  ::setenv("LOCPATH", dir.c_str(), 1);
  const bool switched = built && std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  char sep = '.';
  std::string text;
  if (switched) {
    sep = platform::DecimalSeparator();
    text = platform::FormatFloat(" ##0.0", 25.0);
  }
  std::setlocale(LC_ALL, "C");
  ::unsetenv("LOCPATH");
  std::filesystem::remove_all(dir);
  if (!switched) GTEST_SKIP() << "no de_DE locale can be built here (localedef or its sources missing)";
  EXPECT_EQ(sep, ',');
  EXPECT_EQ(text, " 25,0");
}

std::tm MakeTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(FormatDateTime, ProgramPatterns) {
  std::setlocale(LC_ALL, "C");
  const std::tm t = MakeTime(2026, 12, 8, 7, 5, 9);
  EXPECT_EQ(platform::FormatDateTime("hh:mm:ss", t), "07:05:09");  // mm after hh is minutes
  EXPECT_EQ(platform::FormatDateTime("dd-mmm-yy", t), "08-Dec-26");
  EXPECT_EQ(platform::FormatDateTime("yymmddhhmmss", t), "261208070509");
  EXPECT_EQ(platform::FormatDateTime("yyyy-mm-dd hh:nn", MakeTime(2005, 3, 12, 23, 59, 0)), "2005-03-12 23:59");
  EXPECT_EQ(platform::FormatDateTime("dd-mmm-yy", MakeTime(2000, 1, 31, 0, 0, 0)), "31-Jan-00");
}

}  // namespace
