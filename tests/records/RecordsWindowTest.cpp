// The records window on a real SQLite archive, on the offscreen platform: the list and its
// search (registration, days, instrument), sorting, the selected read-out's detail, verdicts
// that agree with the rules applied to the kept read-out, the remembered regime, and the
// archives it cannot list (none yet, not an archive, a newer schema) and regime files it
// cannot use.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QSqlQuery>
#include <QTableView>
#include <QTextBrowser>

#include "protocol/Quantities.h"
#include "tests/records/RecordsTestSupport.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"

namespace {

constexpr int64_t kDay = 24 * 3600 * 1000;
const int64_t kAt = kSimReadoutAtUtcMs;  // 2023-11-14 22:13:20 UTC

QDate LocalDay(int64_t utcMs) { return QDateTime::fromMSecsSinceEpoch(utcMs).date(); }

}  // namespace

TEST_F(RecordsTest, ListsSearchesSortsAndShowsTheSelectedReadOut) {
  protocol::ReadoutRecord plain = PlainReadout(580, kAt - 2 * kDay);
  plain.vehicle = "P123 ABC";
  protocol::ReadoutRecord newest = PlusReadout({650, 370, 240}, "ab12 cde", kAt);
  newest.examiner = "<b>J. Smith</b>";  // shown as typed, not as markup
  const auto kept = Keep({newest, plain,
                          PlusReadout({560, 300, 100}, "WX63 KLM", kAt - 10 * kDay, false)});
  auto w = Window();
  EXPECT_TRUE(w->Banner->isHidden());
  EXPECT_EQ(w->windowTitle(), "dravikPC Records");
  QStringList headers;
  for (int c = 0; c < kRecordColumns; ++c) headers << w->TableModels().View().headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers, QStringList({"Read at", "Serial", "Model", "Vehicle", "Examiner", "Test", "Brake", "Peak", "Mean",
                                  "Verdict"}));
  // Newest first, one row per test the window shows (a plain dravik shows one).
  EXPECT_EQ(Column(*w, kColVehicle), QStringList({"ab12 cde", "ab12 cde", "ab12 cde", "P123 ABC", "WX63 KLM",
                                                  "WX63 KLM", "WX63 KLM"}));
  EXPECT_EQ(Column(*w, kColBrake).mid(0, 4), QStringList({"Main brake", "Secondary", "Parking", ""}));
  EXPECT_EQ(Column(*w, kColPeak).mid(2, 3), QStringList({"24.0 %g", "58.0 %g", "5.60 m/s/s"}));

  w->SetVehicleSearch(" AB12cDE ");  // case and spaces do not count
  EXPECT_EQ(w->TableModels().View().rowCount(), 3);
  w->SetVehicleSearch("12");  // a part of a registration
  EXPECT_EQ(Column(*w, kColVehicle), QStringList({"ab12 cde", "ab12 cde", "ab12 cde", "P123 ABC"}));
  w->SetVehicleSearch("");
  w->SetInstrument("0042");
  EXPECT_EQ(Column(*w, kColSerial), QStringList({"0042"}));
  w->SetInstrument("");
  w->SetDateRange(LocalDay(kAt - 2 * kDay), LocalDay(kAt - 2 * kDay));  // one day, both ends included
  EXPECT_EQ(Column(*w, kColVehicle), QStringList({"P123 ABC"}));
  w->SetDateRange(std::nullopt, LocalDay(kAt - 3 * kDay));
  EXPECT_EQ(w->TableModels().View().rowCount(), 3);
  w->SetDateRange(std::nullopt, std::nullopt);

  // Peaks sort by efficiency, whatever their unit: 5.60 m/s/s is 57.1 %g.
  w->Table->sortByColumn(kColPeak, Qt::DescendingOrder);
  EXPECT_EQ(Column(*w, kColPeak).mid(0, 4), QStringList({"65.0 %g", "58.0 %g", "5.60 m/s/s", "37.0 %g"}));
  w->Table->sortByColumn(kColVehicle, Qt::AscendingOrder);
  EXPECT_EQ(Column(*w, kColVehicle).mid(2, 2), QStringList({"ab12 cde", "P123 ABC"}));

  // The selected row's whole read-out, as the window showed it, and its frames on request.
  w->Table->selectRow(3);
  ASSERT_TRUE(w->CurrentRecord());
  EXPECT_EQ(w->CurrentRecord()->id, kept[1].id);
  w->Table->selectRow(0);
  ASSERT_TRUE(w->CurrentRecord());
  const protocol::ReadoutRecord& r = kept[0];
  EXPECT_EQ(w->CurrentRecord()->id, r.id);
  const QString detail = w->Detail->toPlainText();
  for (const std::string& text : {r.state.serial, r.state.calibration.calibText, r.state.calibration.byWhoText,
                                  r.state.calibration.versionText, r.state.clockText, r.state.tests[2].date,
                                  r.vehicle, r.examiner, std::string("dry road"), std::string("Measure Pull")})
    EXPECT_TRUE(detail.contains(QString::fromLatin1(text.c_str()))) << text;
  for (int n : {1, 2, 3})
    for (const protocol::ShownQuantity& q : protocol::ShownQuantitiesOf(r.state, n))
      EXPECT_TRUE(detail.contains(QString::fromLatin1(q.text.c_str()))) << q.text;
  EXPECT_FALSE(detail.contains(QString::fromLatin1(r.state.frames[5].c_str())));
  w->FramesCheck->setChecked(true);
  for (const std::string& frame : r.state.frames)
    EXPECT_TRUE(w->Detail->toPlainText().contains(QString::fromLatin1(frame.c_str()))) << frame;
  EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(RecordsTest, VerdictsAgreeWithTheRulesOnTheKeptReadOutAndTheRegimeIsRemembered) {
  protocol::ReadoutRecord unticked = PlusReadout({900, 900, 900}, "NO TICKS", kAt - 3000);
  unticked.brakeTicked = {false, false, false};
  protocol::ReadoutRecord plain = PlainReadout(900, kAt - 4000);
  plain.brakeTicked = {true, false, false};  // kept, but a plain dravik has no brake boxes
  // Peaks against 58 / 25 / 16 %g: at, below and above each minimum; m/s² around them (5.69 is
  // 58.02 %g, 5.68 is 57.92, 2.46 is 25.08, 1.57 is 16.01, 1.56 is 15.91).
  Keep({PlusReadout({580, 249, 170}, "AT LIMIT", kAt), PlusReadout({579, 250, 159}, "BELOW", kAt - 1000),
        PlusReadout({569, 246, 157}, "MS2 PASS", kAt - 2000, false),
        PlusReadout({568, 246, 156}, "MS2 FAIL", kAt - 2500, false),
        unticked, plain});
  auto w = Window();
  const QStringList m1 = Column(*w, kColVerdict);
  EXPECT_EQ(m1, QStringList({"pass", "fail", "pass", "fail", "pass", "fail", "pass", "pass", "pass", "fail", "pass",
                             "fail", "not assessed", "not assessed", "not assessed", "not assessed"}));
  // The row's verdict is the rule applied to the read-out as kept.
  archive::Archive a;
  ASSERT_TRUE(a.Open(SqliteAt(archivePath), archive::Archive::Mode::ReadOnly));
  const QAbstractItemModel& view = w->TableModels().View();
  for (int regime : {0, 1}) {
    w->ChooseRegime(regime);
    for (int row = 0; row < view.rowCount(); ++row) {
      const auto record = a.Load(view.index(row, 0).data(kReadoutIdRole).toLongLong());
      ASSERT_TRUE(record);
      const int number = view.index(row, 0).data(kTestNumberRole).toInt();
      EXPECT_EQ(view.index(row, kColVerdict).data().toString().toStdString(),
                protocol::VerdictText(protocol::Assess(*record, number, protocol::BuiltInRegimes()[regime]).verdict))
          << row;
    }
  }
  EXPECT_EQ(Column(*w, kColVerdict)[3], "pass");  // 57.9 %g is enough for the other vehicles
  w->Table->sortByColumn(kColVerdict, Qt::AscendingOrder);
  EXPECT_EQ(Column(*w, kColVerdict).front(), "fail");

  // The choice outlives the window; a name no regime has any more gives the first.
  w.reset();
  EXPECT_EQ(RegimeChoice(regimeFile, settingsFile).Chosen(), 1);
  EXPECT_EQ(Window()->RegimeCombo->currentIndex(), 1);
  QSettings(settingsFile, QSettings::IniFormat).setValue("verdicts/regime", "gone");
  EXPECT_EQ(RegimeChoice(regimeFile, settingsFile).Chosen(), 0);
}

TEST_F(RecordsTest, SaysWhatIsWrongWithAnArchiveItCannotListAndChangesNothing) {
  {
    auto w = Window();  // none kept yet: an empty list that says so, not an error
    EXPECT_FALSE(w->Banner->isHidden());
    EXPECT_TRUE(w->Banner->text().contains("No read-out has been kept in " + archivePath + " yet")) << w->Banner->text().toStdString();
    EXPECT_EQ(w->TableModels().View().rowCount(), 0);
    EXPECT_FALSE(QFile::exists(archivePath));
  }
  {
    QFile junk(archivePath);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'x'));
  }
  const QByteArray junk = FileDigest(archivePath);
  EXPECT_TRUE(Window()->Banner->text().contains("is not a dravikPC archive")) << Window()->Banner->text().toStdString();
  EXPECT_EQ(FileDigest(archivePath), junk);

  // A newer schema: listed as far as this program can, said so, never written.
  QFile::remove(archivePath);
  Keep({PlusReadout({650, 370, 240}, "AB12 CDE", kAt)});
  {
    archive::Archive a;
    ASSERT_TRUE(a.Open(SqliteAt(archivePath)));
    QSqlQuery(a.Database()).exec("UPDATE dravik_schema SET version = 99");
  }
  const QByteArray newer = FileDigest(archivePath);
  {
    auto w = Window();
    EXPECT_TRUE(w->Banner->text().contains("newer dravikPC (schema 99")) << w->Banner->text().toStdString();
    EXPECT_EQ(w->TableModels().View().rowCount(), 3);
  }
  EXPECT_EQ(FileDigest(archivePath), newer);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RecordsTest, AMalformedRegimeFileIsToldWithItsLineAndTheBuiltInRegimesStillJudge) {
  Keep({PlusReadout({650, 370, 240}, "AB12 CDE", kAt)});
  QFile file(regimeFile);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("{\n  \"format\": \"dravik-regimes/1\",\n  \"regimes\": [\n    {\"name\": \"Fleet\" \"rules\": []}\n  ]\n}\n");
  file.close();
  auto w = Window();
  EXPECT_TRUE(w->Banner->text().contains(regimeFile)) << w->Banner->text().toStdString();
  EXPECT_TRUE(w->Banner->text().contains("line 4")) << w->Banner->text().toStdString();
  EXPECT_EQ(w->RegimeCombo->count(), 2);
  EXPECT_EQ(Column(*w, kColVerdict), QStringList({"pass", "pass", "pass"}));
}
