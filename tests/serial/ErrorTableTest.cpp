// The message table's keys, order and texts, its lookup (including the 16-bit argument rule
// and the fallback to the system's text) and the tidying of system texts.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/syserror.h"
#include "serial/AdStrMap.h"

namespace {

struct KeyRange {
  int low;
  int high;
};

// The key set as ranges of absolute codes; the sign says whether the key is an error (negative)
// or a status or vocabulary text (positive).
const std::vector<KeyRange> kNegativeKeys = {
    {2, 6},         {8, 8},         {15, 15},       {18, 18},       {100, 105},     {150, 162},
    {1001, 1009},   {2001, 2012},   {3001, 3010},   {4001, 4017},   {4020, 4021},   {5001, 5003},
    {5501, 5506},   {6001, 6016},   {7001, 7014},   {7500, 7502},   {8001, 8005},   {8050, 8055},
    {8060, 8075},   {8080, 8083},   {8085, 8085},   {8087, 8092},   {8100, 8103},   {8300, 8305},
    {8310, 8318},   {8320, 8322},   {8330, 8332},   {8340, 8340},   {8500, 8500},   {13801, 13803},
    {13805, 13848}, {13850, 13886}, {13928, 13932}, {13934, 13945}, {13950, 13959}, {13980, 13980},
};
const std::vector<KeyRange> kPositiveKeys = {
    {4101, 4101},   {4200, 4213},   {4301, 4312},   {4401, 4403},   {4500, 4523},   {4550, 4553},
    {4599, 4611},   {4630, 4633},   {4660, 4671},   {4700, 4728},   {4730, 4730},   {4801, 4808},
    {4820, 4828},   {4830, 4832},   {4840, 4843},   {9001, 9007},   {10000, 10000}, {10004, 10004},
    {10009, 10009}, {10013, 10014}, {10022, 10022}, {10024, 10024}, {10035, 10071}, {10091, 10093},
    {10101, 10101}, {11001, 11004}, {13501, 13516}, {13533, 13557}, {13565, 13565}, {13597, 13601},
    {13650, 13670}, {13933, 13933}, {15001, 15021}, {15100, 15351}, {15501, 15502}, {15601, 15608},
    {15700, 15742},
};

std::set<int> ExpectedKeys() {
  std::set<int> keys{0};
  for (const auto& r : kNegativeKeys)
    for (int a = r.low; a <= r.high; ++a) keys.insert(-a);
  for (const auto& r : kPositiveKeys)
    for (int a = r.low; a <= r.high; ++a) keys.insert(a);
  return keys;
}

int Abs(int code) { return code < 0 ? -code : code; }

}  // namespace

TEST(ErrorMessageTable, HoldsExactlyTheExpectedKeys) {
  const std::set<int> expected = ExpectedKeys();
  ASSERT_EQ(expected.size(), 892u);
  std::set<int> actual;
  for (const auto& entry : ErrorMessageTable) actual.insert(entry.Code);
  std::vector<int> missing, extra;
  for (int k : expected)
    if (!actual.count(k)) missing.push_back(k);
  for (int k : actual)
    if (!expected.count(k)) extra.push_back(k);
  EXPECT_TRUE(missing.empty()) << "first missing key: " << (missing.empty() ? 0 : missing.front());
  EXPECT_TRUE(extra.empty()) << "first unexpected key: " << (extra.empty() ? 0 : extra.front());
}

TEST(ErrorMessageTable, IsStrictlyAscendingByAbsoluteCodeWithUsableTexts) {
  for (std::size_t i = 0; i < ErrorMessageTable.size(); ++i) {
    const auto& entry = ErrorMessageTable[i];
    if (i > 0) {
      EXPECT_LT(Abs(ErrorMessageTable[i - 1].Code), Abs(entry.Code)) << "at index " << i;
    }
    ASSERT_NE(entry.Text, nullptr) << entry.Code;
    const std::string text = entry.Text;
    EXPECT_FALSE(text.empty()) << entry.Code;
    EXPECT_LE(text.size(), 255u) << entry.Code;
  }
}

// Every key is found where it stands, through the exact search, and both signs give its text.
TEST(ErrorMessageText, FindsEveryKeyOfTheTable) {
  for (std::size_t i = 0; i < ErrorMessageTable.size(); ++i) {
    const auto& entry = ErrorMessageTable[i];
    EXPECT_EQ(ErrorMessageIndex(Abs(entry.Code)), static_cast<int>(i)) << entry.Code;
    EXPECT_EQ(ErrorMessageText(entry.Code), entry.Text) << entry.Code;
    EXPECT_EQ(ErrorMessageText(-entry.Code), entry.Text) << entry.Code;
  }
  for (int absent : {1, 7, 99, 1000, 4018, 13804, 13849, 13946, 15743, 32767, 32768})
    EXPECT_EQ(ErrorMessageIndex(absent), -1) << absent;
}

TEST(ErrorMessageText, MiddleRoundsHalvesToEven) {
  struct Case { int low, high, middle; };
  for (const Case& c : {Case{0, 891, 446}, Case{0, 1, 0}, Case{1, 2, 2}, Case{2, 3, 2}, Case{3, 4, 4},
                        Case{0, 2, 1}, Case{5, 5, 5}, Case{446, 891, 668}, Case{0, 445, 222}})
    EXPECT_EQ(SearchMiddle(c.low, c.high), c.middle) << c.low << ".." << c.high;
}

TEST(ErrorMessageText, TakesTheArgumentAsSixteenBitSigned) {
  EXPECT_EQ(ErrorMessageText(-2007), "ie_NOpen - device not open");
  EXPECT_EQ(ErrorMessageText(2007), "ie_NOpen - device not open");
  EXPECT_EQ(ErrorMessageText(65536 + 2007), "ie_NOpen - device not open");
  EXPECT_EQ(ErrorMessageText(-65536 - 2007), "ie_NOpen - device not open");
  EXPECT_EQ(ErrorMessageText(65536), "OK");
  // -32768 has no positive 16-bit counterpart; its absolute value is looked up as 32768.
  EXPECT_EQ(ErrorMessageText(-32768), "");
  EXPECT_EQ(ErrorMessageText(32768), "");  // the same 16 bits
}

// The words the dispatcher's log dump takes from the table, by the ids it computes.
TEST(ErrorMessageText, SuppliesTheDumpVocabulary) {
  struct Word { int id; const char* text; };
  const Word words[] = {
      {kLogTypeNameBase + 0, "No event"},  {kLogTypeNameBase + 1, "Dispatch"},
      {kLogTypeNameBase + 2, "Trigger"},   {kLogTypeNameBase + 5, "TrigAllc"},
      {kLogTypeNameBase + 6, "TrigDisp"},  {kLogTypeNameBase + 7, "TrgHdAlc"},
      {kLogTypeNameBase + 8, "TrgHdDsp"},  {kLogTypeNameBase + 9, "TrDatChg"},
      {kLogSubtypeNameBase + 1, "ReadCom"}, {kLogSubtypeNameBase + 2, "WriteCom"},
      {kLogSubtypeNameBase + 5, "Avail"},  {kLogSubtypeNameBase + 6, "Timer"},
      {kLogSubtypeNameBase + 7, "Data"},   {kLogSubtypeNameBase + 8, "Status"},
      {kLogSubtypeNameBase + 14, "Timer"}, {kLogSubtypeNameBase + 15, "Status"},
      {kLogSubtypeNameBase + 16, "Avail"}, {kLogSubtypeNameBase + 17, "Window"},
      {kLogColumnHeader, "Time      Type      SubType       Data      OtherData"},
      {kLogColumnRule, "--------  --------  ------------  --------  ---------"},
      {kModemStatusNameBase + 0, "DCTS "}, {kModemStatusNameBase + 1, "DDSR "},
      {kModemStatusNameBase + 2, "TERI "}, {kModemStatusNameBase + 3, "DDCD "},
      {kModemStatusNameBase + 4, "CTS "},  {kModemStatusNameBase + 5, "DSR "},
      {kModemStatusNameBase + 6, "RI "},   {kModemStatusNameBase + 7, "DCD "},
      {kStatusKindLabelBase + 0, "(Not active)"},        {kStatusKindLabelBase + 1, "(Modem status)"},
      {kStatusKindLabelBase + 2, "(Line status)"},       {kStatusKindLabelBase + 3, "(Output buffer free)"},
      {kStatusKindLabelBase + 4, "(Output buffer used)"}, {kStatusKindLabelBase + 5, "(Output sent)"},
      {kTelnetOptionNameBase + 1, "Echo"}, {kTelnetOptionNameBase + 24, "Terminal Type"},
      {10060, "The operation timed out"},
  };
  for (const Word& w : words) EXPECT_EQ(ErrorMessageText(w.id), w.text) << w.id;
  // Type and subtype names must fit the dump's fixed columns (%-8s, %-12s).
  for (int type = 0; type <= 20; ++type) {
    EXPECT_LE(ErrorMessageText(kLogTypeNameBase + type).size(), 8u) << type;
  }
  for (int sub = 0; sub < kStatusKindLabelBase - kLogSubtypeNameBase; ++sub) {
    EXPECT_LE(ErrorMessageText(kLogSubtypeNameBase + sub).size(), 12u) << sub;
  }
}

TEST(ErrorMessageText, FallsBackToTheTidiedSystemTextOrNothing) {
  EXPECT_EQ(ErrorMessageText(31), "A device attached to the system is not functioning. ");
  EXPECT_EQ(ErrorMessageText(-7), "The storage control blocks were destroyed. ");
  EXPECT_EQ(ErrorMessageText(995),
            "The I/O operation has been aborted because of either a thread exit or an application request. ");
  EXPECT_EQ(ErrorMessageText(9999), "");  // neither in the table nor known to the system
}

TEST(SystemErrorText, GivesTheWindowsTextsWithTheirLineBreak) {
  for (unsigned long e : {1ul, 2ul, 3ul, 4ul, 5ul, 6ul, 8ul, 13ul, 14ul, 15ul, 19ul, 20ul, 21ul, 22ul, 23ul,
                          29ul, 30ul, 31ul, 32ul, 38ul, 50ul, 87ul, 109ul, 121ul, 122ul, 123ul, 170ul, 183ul,
                          995ul, 996ul, 997ul, 998ul, 1167ul, 1400ul, 1460ul}) {
    const std::string text = platform::SystemErrorText(e);
    ASSERT_GE(text.size(), 3u) << e;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << e;
    EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << e;
  }
  EXPECT_EQ(platform::SystemErrorText(5), "Access is denied.\r\n");
  EXPECT_EQ(platform::SystemErrorText(1460), "This operation returned because the timeout period expired.\r\n");
  // An unknown number has no text; errno texts must not leak in (errno 35 is EDEADLK on Linux).
  EXPECT_EQ(platform::SystemErrorText(35), "");
  EXPECT_EQ(platform::SystemErrorText(0xFFFFFFFFul), "");
}

TEST(TidyMessageText, BlanksControlCharactersAndCollapsesSpaces) {
  struct Case { const char* in; const char* out; };
  for (const Case& c : {Case{"", ""},
                        Case{"Plain text.", "Plain text."},
                        Case{"Ends in a break.\r\n", "Ends in a break. "},
                        Case{"Two\tlines\r\nhere.\r\n", "Two lines here. "},
                        Case{"  leading and   inner  ", " leading and inner "},
                        Case{"\x01\x1f" "x", " x"},
                        Case{"\x7f stays", "\x7f stays"},
                        Case{"\xe9t\xe9", "\xe9t\xe9"}})  // bytes above 127 are not control characters
    EXPECT_EQ(TidyMessageText(c.in), c.out) << c.in;
}
