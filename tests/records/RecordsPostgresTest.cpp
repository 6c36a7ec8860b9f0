// The records window on a PostgreSQL archive of a server the test starts itself: the lanes'
// read-outs listed with their verdicts, searched by registration and instrument, and exported.
#include <QFile>
#include <QLabel>

#include "tests/records/RecordsTestSupport.h"
#include "tests/support/CsvReader.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/QtTestApp.h"

TEST_F(RecordsTest, ListsSearchesAndExportsAPostgresArchive) {
  PostgresServer server;
  ASSERT_TRUE(server.Running()) << server.Error();
  ASSERT_TRUE(server.CreateDatabase("brakes"));
  qputenv("PGPASSWORD", PostgresServer::kPassword);
  const archive::LocationResult where = archive::ParseLocation(server.Url("brakes"), "");
  {
    archive::Archive lane;
    ASSERT_TRUE(lane.Open(where.location)) << lane.Error();
    protocol::ReadoutRecord plain = PlainReadout(580, kSimReadoutAtUtcMs - 1000);
    plain.vehicle = "P123 ABC";
    for (const protocol::ReadoutRecord& r : {PlusReadout({650, 240, 170}, "AB12 CDE", kSimReadoutAtUtcMs), plain})
      ASSERT_TRUE(lane.Keep(r)) << lane.Error();
  }
  RecordsWindow w(where, std::make_unique<RegimeChoice>(regimeFile, settingsFile));
  w.ShowMessage = [this](const QString& text) { messages << text; };
  EXPECT_TRUE(w.Banner->isHidden()) << w.Banner->text().toStdString();
  EXPECT_EQ(Column(w, kColVerdict), QStringList({"pass", "fail", "pass", "not assessed"}));
  w.SetVehicleSearch("ab12");
  EXPECT_EQ(w.TableModels().View().rowCount(), 3);
  w.SetVehicleSearch("");
  w.SetInstrument("0042");
  EXPECT_EQ(Column(w, kColVehicle), QStringList({"P123 ABC"}));

  const QString csv = dir.filePath("lanes.csv");
  ASSERT_TRUE(w.ExportTo(csv, ExportFormat::Csv, RecordsWindow::ExportScope::Listed)) << messages.join('\n').toStdString();
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(ReadCsv(file.readAll().toStdString()).rows.size(), 2u);  // the header and the plain dravik's test
  qunsetenv("PGPASSWORD");
}
