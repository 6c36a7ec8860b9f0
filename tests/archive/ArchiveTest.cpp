// The archive on a real SQLite file: a read-out kept and read back from its frames, read-outs
// not kept twice, texts attached, filters, the test rows, where the archive is, and the writer
// thread. Faults are in ArchiveFaultTest.cpp.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlRecord>
#include <filesystem>

#include "archive/ArchiveWriter.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/QtTestEnvironment.h"

namespace {

::testing::Environment* const environment =
    RegisterQtTestEnvironment<QCoreApplication>([] { std::setlocale(LC_ALL, "C"); });

using archive::Archive;

class ArchiveTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(a.Open(where)) << a.Error();
  }
  QTemporaryDir dir;
  archive::Location where = SqliteAt(dir.filePath(QStringLiteral("lane/archive.sqlite")));
  Archive a;
};

std::filesystem::perms OthersBits(const std::string& path) {
  using std::filesystem::perms;
  return std::filesystem::status(path).permissions() & (perms::group_all | perms::others_all);
}

TEST_F(ArchiveTest, KeepsAReadOutAndReadsItBackDecodedFromItsFrames) {
  protocol::ReadoutRecord r = ReadoutWithPeak(650);
  r.vehicle = "ab12 cde";
  r.examiner = "Jörg Ñandú";
  r.notes = "10%g start trigger\nservice brake pulls left";
  r.brakeTicked = {true, false, true};
  const auto kept = a.Keep(r);
  ASSERT_TRUE(kept) << a.Error();
  EXPECT_TRUE(kept->kept);

  const auto back = a.Load(kept->id);
  ASSERT_TRUE(back) << a.Error();
  EXPECT_EQ(back->id, kept->id);
  EXPECT_EQ(back->readAtUtcMs, r.readAtUtcMs);
  EXPECT_EQ(back->port, 3);
  EXPECT_EQ(back->vehicle, r.vehicle);
  EXPECT_EQ(back->examiner, r.examiner);
  EXPECT_EQ(back->notes, r.notes);
  EXPECT_EQ(back->brakeTicked, r.brakeTicked);
  const protocol::InstrumentState& s = back->state;
  EXPECT_TRUE(s.complete);
  EXPECT_EQ(s.frames, r.state.frames);
  EXPECT_EQ(s.serial, "0123");
  EXPECT_EQ(s.battText, r.state.battText);
  EXPECT_EQ(s.calibration.calibText, r.state.calibration.calibText);
  EXPECT_EQ(s.clockText, r.state.clockText);
  EXPECT_EQ(s.config.flagsWord, r.state.config.flagsWord);
  for (std::size_t n = 0; n < 3; ++n) {
    const protocol::TestState &t = s.tests[n], &was = r.state.tests[n];
    EXPECT_EQ(t.first, was.first);
    EXPECT_EQ(t.second, was.second);
    for (auto text : {&protocol::TestState::peak, &protocol::TestState::mean, &protocol::TestState::sideways,
                      &protocol::TestState::angle, &protocol::TestState::stop, &protocol::TestState::speed,
                      &protocol::TestState::distance, &protocol::TestState::date})
      EXPECT_EQ(t.*text, was.*text);
  }

  // Personal data: the file and the folder made for it are the user's alone; WAL journal.
  EXPECT_EQ(OthersBits(where.path), std::filesystem::perms::none);
  EXPECT_EQ(OthersBits(dir.filePath(QStringLiteral("lane")).toStdString()), std::filesystem::perms::none);
  QSqlQuery mode(a.Database());
  ASSERT_TRUE(mode.exec(QStringLiteral("PRAGMA journal_mode")) && mode.next());
  EXPECT_EQ(mode.value(0).toString(), QStringLiteral("wal"));
}

TEST_F(ArchiveTest, AnEqualReadOutIsNotKeptTwiceAndTheLatestTextsWin) {
  protocol::ReadoutRecord r = ReadoutWithPeak(650);
  r.vehicle = "AB12 CDE";
  r.examiner = "J. Smith";
  const int64_t first = a.Keep(r)->id;

  // A refresh, or the read-out after "set time": the same results, later.
  protocol::ReadoutRecord again = r;
  again.readAtUtcMs += 60'000;
  again.vehicle = "placeholder";
  archive::Annotation typed;
  typed.vehicle = "AB12 CDF";
  typed.brakeTicked = std::array{false, true, false};
  const auto second = a.Keep(again, typed);
  ASSERT_TRUE(second) << a.Error();
  EXPECT_FALSE(second->kept);
  EXPECT_EQ(second->id, first);
  const auto back = a.Load(first);
  EXPECT_EQ(back->vehicle, "AB12 CDF");   // the latest text wins
  EXPECT_EQ(back->examiner, "J. Smith");  // a text not given stays
  EXPECT_EQ(back->brakeTicked, (std::array{false, true, false}));
  EXPECT_EQ(back->readAtUtcMs, r.readAtUtcMs);

  // Other results are kept; so are the first ones again once they are no longer the last.
  const auto other = a.Keep(ReadoutWithPeak(700));
  ASSERT_TRUE(other && other->kept);
  EXPECT_TRUE(a.Keep(r)->kept);
  // Another instrument's equal results are its own.
  EXPECT_TRUE(a.Keep(ReadoutWithPeak(700, "0999"))->kept);

  EXPECT_FALSE(a.Annotate(9999, typed));
  EXPECT_NE(a.Error().find("no read-out 9999"), std::string::npos) << a.Error();
  protocol::ReadoutRecord partial;
  ReadOut(partial.state, {}, 7);
  EXPECT_FALSE(a.Keep(partial));
}

TEST_F(ArchiveTest, FindsByVehicleSerialAndTimeAndListsOneRowPerShownTest) {
  protocol::ReadoutRecord first = ReadoutWithPeak(650, "0123", 1000);
  first.vehicle = "AB12 CDE";
  sim::InstrumentSetup plain;
  plain.serial = "0042";
  plain.featureWord = 0;
  protocol::ReadoutRecord second = RecordReadAt(plain, 2000);
  second.vehicle = "zz9 9zz";
  protocol::ReadoutRecord third = ReadoutWithPeak(480, "0123", 3000);
  third.vehicle = " ab12cde ";
  const int64_t a1 = a.Keep(first)->id, b = a.Keep(second)->id, c = a.Keep(third)->id;

  using Ids = std::vector<int64_t>;
  const auto find = [&](archive::ReadoutFilter f) { return a.Find(f).value_or(Ids{-1}); };
  EXPECT_EQ(find({.vehicle = "Ab 12 cDe", .vehicleExact = true}), (Ids{a1, c}));
  EXPECT_EQ(find({.vehicle = "12c"}), (Ids{a1, c}));
  EXPECT_EQ(find({.vehicle = "%"}), Ids{});  // a pattern character is only a character
  EXPECT_EQ(find({.serial = "0042"}), Ids{b});
  EXPECT_EQ(find({.sinceUtcMs = 2000}), (Ids{b, c}));
  EXPECT_EQ(find({.serial = "0123", .untilUtcMs = 3000}), Ids{a1});

  // A plain instrument shows its test 1 only; newest read-out first, tests in order.
  std::optional<QSqlQuery> rows = a.TestRows({});
  ASSERT_TRUE(rows) << a.Error();
  std::vector<std::pair<qint64, int>> seen;
  while (rows->next()) {
    seen.emplace_back(rows->value(archive::kRowReadoutId).toLongLong(), rows->value(archive::kRowNumber).toInt());
    if (seen.back().first != b) continue;
    EXPECT_EQ(rows->value(archive::kRowModel).toString(), QStringLiteral("dravik"));
    EXPECT_EQ(rows->value(archive::kRowPeakText).toString(), QString::fromStdString(second.state.tests[0].peak));
    EXPECT_DOUBLE_EQ(rows->value(archive::kRowPeakValue).toDouble(), second.state.tests[0].first.peak / 10.0);
    EXPECT_EQ(rows->value(archive::kRowPeakUnit).toString(), QStringLiteral("%g"));
    EXPECT_EQ(rows->value(archive::kRowDistanceUnit).toString(), QStringLiteral("mtr"));
  }
  const std::vector<std::pair<qint64, int>> expected{{c, 1}, {c, 2}, {c, 3}, {b, 1}, {a1, 1}, {a1, 2}, {a1, 3}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(rows->record().count(), archive::kTestRowColumns);
}

TEST(ArchiveLocationTest, TheEnvironmentNamesTheArchive) {
  using archive::Location;
  using archive::ParseLocation;
  EXPECT_EQ(ParseLocation("off", "/d/a.sqlite").location.kind, Location::Off);
  const Location file = ParseLocation("", "/d/a.sqlite").location;
  EXPECT_EQ(file.kind, Location::Sqlite);
  EXPECT_EQ(file.path, "/d/a.sqlite");
  const archive::LocationResult pg = ParseLocation("postgresql://lane1@db.example:6543/brakes?sslmode=require", "");
  ASSERT_TRUE(pg.error.empty()) << pg.error;
  EXPECT_EQ(pg.location.kind, Location::Postgres);
  EXPECT_EQ(pg.location.Describe(), "postgresql://lane1@db.example:6543/brakes");
  EXPECT_EQ(pg.location.options, "sslmode=require");
  EXPECT_EQ(ParseLocation("postgres://h/db", "").location.port, 5432);
  EXPECT_NE(ParseLocation("postgresql://lane1:secret@h/db", "").error.find("PGPASSWORD"), std::string::npos);
  EXPECT_NE(ParseLocation("postgresql://h/db?password=x", "").error.find("PGPASSWORD"), std::string::npos);
  EXPECT_FALSE(ParseLocation("postgresql://h/", "").error.empty());
  // Whichever program asks, the default is dravikPC's own file.
  qputenv("XDG_DATA_HOME", "/xdg/data");
  QCoreApplication::setApplicationName(QStringLiteral("dravik-records"));
  EXPECT_EQ(archive::DefaultArchivePath(), "/xdg/data/dravikPC/archive.sqlite");
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("dravik-records"));
}

TEST_F(ArchiveTest, TheWriterKeepsInOrderAndTellsOutcomes) {
  a.Close();
  std::string reason;
  {
    archive::ArchiveWriter writer({where, {}}, {});
    writer.Keep(ReadoutWithPeak(100));
    ASSERT_TRUE(writer.KeepNow(ReadoutWithPeak(200), {}, reason, 10000)) << reason;
    archive::Annotation notes;
    notes.notes = "kept after the second";
    writer.AnnotateLast(notes);
    writer.Finish();
    const auto outcomes = writer.TakeOutcomes();
    ASSERT_EQ(outcomes.size(), 2u);  // KeepNow told its own
    EXPECT_TRUE(outcomes[0].ok && outcomes[0].kept);
    EXPECT_TRUE(outcomes[1].ok);
  }
  ASSERT_TRUE(a.Open(where, Archive::Mode::ReadOnly)) << a.Error();
  const auto ids = a.Find({});
  ASSERT_EQ(ids->size(), 2u);
  EXPECT_EQ(a.Load(ids->back())->notes, "kept after the second");

  archive::ArchiveWriter unusable({{}, "DRAVIK_ARCHIVE must not hold a password"}, {});
  EXPECT_FALSE(unusable.KeepNow(ReadoutWithPeak(300), {}, reason, 10000));
  EXPECT_EQ(reason, "DRAVIK_ARCHIVE must not hold a password");
}

}  // namespace
