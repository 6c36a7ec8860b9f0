// The window's results archive against dravik-sim: a read-out is kept as it completes, "CLEAR"
// commits the results and the examiner's typing before it goes out, and an archive that cannot
// be written is told once while "CLEAR" then sends nothing. With DRAVIK_ARCHIVE=off there is no
// archive at all.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include "app/DravikPCMain.h"
#include "archive/Archive.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/SimProcess.h"

namespace {

int FirstPeak(SimProcess& sim) { return sim.State()[QStringLiteral("tests")].toArray()[0].toObject()[QStringLiteral("peak")].toInt(); }

class ArchiveWindowTest : public ::testing::Test {
protected:
  // The window opens the archive that DRAVIK_ARCHIVE names when it is made.
  void Open(const QByteArray& archive) {
    qputenv("DRAVIK_ARCHIVE", archive);
    form = std::make_unique<TDravikPCMainForm>();
    qputenv("DRAVIK_ARCHIVE", before);
  }
  void Connect(SimProcess& sim) {
    ASSERT_GT(sim.Number(), 0);
    ShowForm(*form);
    ConnectTo(*form, sim.Number());
    ASSERT_TRUE(WaitFor([&] { return form->ConnectedRB->isChecked() && GroupsShown(*form); }, 20000));
  }
  // The read-outs kept so far, read by another connection as the records window would.
  std::vector<protocol::ReadoutRecord> Kept() {
    archive::Archive a;
    std::vector<protocol::ReadoutRecord> records;
    if (!a.Open(archive::ParseLocation(path.toStdString(), "").location, archive::Archive::Mode::ReadOnly)) return records;
    for (int64_t id : a.Find({}).value_or(std::vector<int64_t>{})) records.push_back(*a.Load(id));
    return records;
  }
  void TearDown() override { form.reset(); }
  const QByteArray before = qgetenv("DRAVIK_ARCHIVE");  // the test's own, from CTest
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("archive.sqlite"));
  BoxesInstalled boxes;
  std::unique_ptr<TDravikPCMainForm> form;
};

TEST_F(ArchiveWindowTest, AReadOutIsKeptAndClearGoesOutOnlyAfterItsCommit) {
  Open(path.toUtf8());
  SimProcess sim;
  Connect(sim);
  ASSERT_TRUE(WaitFor([&] { return Kept().size() == 1; }));
  QTest::keyClicks(form->VehicleEB, QStringLiteral(" 2"));
  form->MainCB->click();

  form->ClearBUT->click();
  // Committed before the click returned: the results it erases, with what was typed.
  std::vector<protocol::ReadoutRecord> kept = Kept();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].state.tests[0].peak, "65.0 %g");
  EXPECT_EQ(kept[0].vehicle, "Vehicle Registration 2");
  EXPECT_EQ(kept[0].examiner, "Examiner Name");
  EXPECT_EQ(kept[0].brakeTicked, (std::array{true, false, false}));
  EXPECT_EQ(kept[0].port, sim.Number());

  // The read-out after the erase holds other results: kept too.
  ASSERT_TRUE(WaitFor([&] { return FirstPeak(sim) == 0 && Kept().size() == 2; }, 20000));
  EXPECT_EQ(Kept()[1].state.tests[0].peak, "0.0 %g");
  EXPECT_TRUE(boxes->shown.isEmpty()) << boxes->shown.join(QLatin1Char('|')).toStdString();
}

TEST_F(ArchiveWindowTest, AnArchiveThatCannotBeWrittenIsToldOnceAndClearSendsNothing) {
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("not a database\n").repeated(100));
  }
  Open(path.toUtf8());
  SimProcess sim;
  Connect(sim);
  ASSERT_TRUE(WaitFor([&] { return !boxes->shown.isEmpty(); }));
  EXPECT_TRUE(boxes->shown[0].startsWith(QStringLiteral("Results could not be saved in the archive.\n")))
      << boxes->shown[0].toStdString();

  form->ClearBUT->click();
  ASSERT_EQ(boxes->shown.size(), 2);
  EXPECT_EQ(boxes->shown[1], QStringLiteral("Results could not be saved; the instrument was not cleared.\nthe archive ") +
                                 path + QStringLiteral(" is not a dravikPC archive: file is not a database"));
  Settle(2500);  // two polls: nothing went out that erases
  EXPECT_EQ(FirstPeak(sim), 650);
  EXPECT_TRUE(form->ConnectedRB->isChecked());
  EXPECT_EQ(boxes->shown.size(), 2);  // the keeping failure is not told again
}

TEST_F(ArchiveWindowTest, WithTheArchiveOffNothingIsAskedBeforeAnErase) {
  Open("off");
  EXPECT_FALSE(form->Session->BeforeErase);
}

}  // namespace
