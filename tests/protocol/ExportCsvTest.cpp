// The fields shared by the export formats (ISO times, names, Latin-1 to UTF-8) and the CSV
// export: RFC 4180 quoting, the formula guard on text cells only, and read-outs of the plus and
// the plain instrument read back column by column.
#include <gtest/gtest.h>

#include <clocale>

#include "protocol/ExportFields.h"
#include "protocol/ReadoutCsv.h"
#include "tests/support/CsvReader.h"
#include "tests/support/SimReadout.h"

TEST(ExportFields, TimesAndTexts) {
  EXPECT_EQ(protocol::IsoUtc(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(protocol::IsoUtc(1'700'000'000'123), "2023-11-14T22:13:20.123Z");
  EXPECT_EQ(protocol::IsoUtc(-1), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(protocol::IsoDate("270315"), "2027-03-15");
  EXPECT_EQ(protocol::IsoDate("240229"), "2024-02-29");
  for (const char* bad : {"230229", "271315", "270300", "2a0315", "27031", ""})
    EXPECT_EQ(protocol::IsoDate(bad), std::nullopt) << bad;
  EXPECT_EQ(protocol::IsoDateTime("260514", "1032"), "2026-05-14T10:32");
  EXPECT_EQ(protocol::IsoDateTime("260514", "2400"), std::nullopt);
  EXPECT_EQ(protocol::IsoDateTime("000000", "0000"), std::nullopt);  // an erased test
  EXPECT_EQ(protocol::Latin1ToUtf8("A\xE9\xFF"), "A\xC3\xA9\xC3\xBF");
}

TEST(Csv, QuotingAndTheFormulaGuard) {
  using protocol::NumberCell;
  using protocol::TextCell;
  const std::pair<protocol::CsvCell, const char*> cases[] = {
      {TextCell("AB12 CDE"), "AB12 CDE"},
      {TextCell("a,b"), "\"a,b\""},
      {TextCell("say \"hi\""), "\"say \"\"hi\"\"\""},
      {TextCell("two\nlines"), "\"two\nlines\""},
      {TextCell("cr\r\nlf"), "\"cr\r\nlf\""},
      {TextCell("=1+1"), "'=1+1"},
      {TextCell("+44"), "'+44"},
      {TextCell("-5"), "'-5"},
      {TextCell("@SUM(A1)"), "'@SUM(A1)"},
      {TextCell("\tx"), "'\tx"},
      {TextCell("\rx"), "\"'\rx\""},
      {TextCell("=HYPERLINK(\"x\",\"y\")"), "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
      {TextCell(" =1"), " =1"},  // only the first character counts
      {TextCell(""), ""},
      {NumberCell("-5"), "-5"},  // numbers are not guarded
  };
  for (const auto& [cell, written] : cases) EXPECT_EQ(protocol::CsvField(cell), written) << cell.text;
  EXPECT_EQ(protocol::CsvRecord({TextCell("a"), NumberCell("1"), TextCell("")}), "a,1,\r\n");
}

TEST(Csv, ReadOutsReadBackColumnByColumn) {
  std::setlocale(LC_ALL, "C");
  protocol::ReadoutRecord plus = RecordOf({});
  plus.brakeTicked = {true, false, true};
  plus.vehicle = "=cmd|' /C calc'!A0";
  plus.examiner = "Zoë, \"chief\"";
  plus.notes = "10%g start trigger\nwet road";
  sim::InstrumentSetup plainSetup;
  plainSetup.featureWord = 0;
  plainSetup.flagsWord = 0x0000;  // m/s², no pull
  const protocol::ReadoutRecord plain = RecordOf(plainSetup, 7);
  const protocol::Regime& m1 = protocol::BuiltInRegimes().front();

  const CsvTable csv = ReadCsv(protocol::ReadoutsCsv({plus, plain}, &m1));
  ASSERT_TRUE(csv.ok);
  ASSERT_EQ(csv.rows.size(), 1u + 3u + 1u);
  EXPECT_EQ(csv.rows[0], protocol::ReadoutCsvColumns());
  for (const auto& row : csv.rows) EXPECT_EQ(row.size(), csv.rows[0].size());
  const std::vector<std::string> test1 = {
      "2023-11-14T22:13:20.000Z", "0123", "dravik+", "'=cmd|' /C calc'!A0", "Zoë, \"chief\"", "1", "main",
      "65.0", "%g", "50.0", "%g", "pass", m1.name, "30", "kph", "2.50", "sec", "29.1", "mtr", "5", "deg",
      "4.4", "%g", "10%g start trigger\nwet road"};
  EXPECT_EQ(csv.rows[1], test1);
  EXPECT_EQ(csv.rows[2][6], "");              // test 2 was not ticked
  EXPECT_EQ(csv.rows[2][11], "not assessed");
  EXPECT_EQ(csv.rows[2][19], "-3");           // left pull
  EXPECT_EQ(csv.rows[3][11], "pass");         // parking 24.0 %g against 16 %g
  const std::vector<std::string> plainTest1 = {
      "2023-11-14T22:13:20.000Z", "0123", "dravik", "", "", "1", "", "6.50", "m/s/s", "5.00", "m/s/s",
      "not assessed", m1.name, "", "", "", "", "", "", "", "", "", "", ""};
  EXPECT_EQ(csv.rows[4], plainTest1);

  // Without a regime the verdict columns stay empty.
  const CsvTable bare = ReadCsv(protocol::ReadoutsCsv({plus}, nullptr));
  ASSERT_TRUE(bare.ok);
  EXPECT_EQ(bare.rows[1][11], "");
  EXPECT_EQ(bare.rows[1][12], "");
}
