// What the records window's tests share: an archive file of kept read-outs in a temporary
// folder, and the window on it with a regime file and settings of the test's own and its
// messages recorded instead of shown.
#pragma once
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <vector>

#include "records/RecordsWindow.h"
#include "tests/archive/ArchiveTestSupport.h"

// A dravik+ read-out whose three tests peak at `peaks` (tenths of %g, or hundredths of m/s²
// with `percentG` off), read at `readAtUtcMs`, all three brakes ticked.
inline protocol::ReadoutRecord PlusReadout(std::array<uint16_t, 3> peaks, const std::string& vehicle,
                                           int64_t readAtUtcMs, bool percentG = true) {
  sim::InstrumentSetup setup;
  setup.flagsWord = percentG ? 0xB000 : 0x9000;
  for (std::size_t i = 0; i < 3; ++i) setup.tests[i].peak = peaks[i];
  protocol::ReadoutRecord r = RecordReadAt(setup, readAtUtcMs);
  r.brakeTicked = {true, true, true};
  r.vehicle = vehicle;
  r.examiner = "J. Smith";
  r.notes = "10%g start trigger\ndry road";
  return r;
}

// A plain dravik (serial 0042) read-out whose test peaks at `peak` tenths of %g.
inline protocol::ReadoutRecord PlainReadout(uint16_t peak, int64_t readAtUtcMs) {
  sim::InstrumentSetup setup;
  setup.serial = "0042";
  setup.featureWord = 0;
  setup.tests[0].peak = peak;
  return RecordReadAt(setup, readAtUtcMs);
}

class RecordsTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::setlocale(LC_ALL, "C");
    ASSERT_TRUE(dir.isValid());
  }
  // Keeps `records` in the test's archive and returns them as kept (with their ids).
  std::vector<protocol::ReadoutRecord> Keep(std::vector<protocol::ReadoutRecord> records) {
    archive::Archive a;
    EXPECT_TRUE(a.Open(SqliteAt(archivePath))) << a.Error();
    for (protocol::ReadoutRecord& r : records) {
      const auto kept = a.Keep(r);
      EXPECT_TRUE(kept) << a.Error();
      if (kept) r.id = kept->id;
    }
    return records;
  }
  std::unique_ptr<RecordsWindow> Window() {
    auto w = std::make_unique<RecordsWindow>(archive::ParseLocation(archivePath.toStdString(), ""),
                                             std::make_unique<RegimeChoice>(regimeFile, settingsFile));
    w->ShowMessage = [this](const QString& text) { messages << text; };
    return w;
  }
  // Column `column` of every listed row, top to bottom.
  static QStringList Column(RecordsWindow& w, int column, int role = Qt::DisplayRole) {
    QStringList texts;
    const QAbstractItemModel& m = w.TableModels().View();
    for (int row = 0; row < m.rowCount(); ++row) texts << m.index(row, column).data(role).toString();
    return texts;
  }

  QTemporaryDir dir;
  QString archivePath = dir.filePath(QStringLiteral("archive.sqlite"));
  QString regimeFile = dir.filePath(QStringLiteral("regimes.json"));
  QString settingsFile = dir.filePath(QStringLiteral("records.conf"));
  QStringList messages;
};
