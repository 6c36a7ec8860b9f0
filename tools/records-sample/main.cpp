// dravik-records-sample: a small sample archive of realistic read-outs and a picture of the
// records window showing it (scripts/samples.sh makes docs/records.png with it). The read-outs
// are answered by the simulator's instrument model (no port), as tests/support makes them.
// Usage: dravik-records-sample --archive NEW.sqlite --window PICTURE.png
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>

#include "archive/Archive.h"
#include "records/RecordsWindow.h"
#include "tests/support/SimReadout.h"

namespace {

struct Sample {
  const char* readAt;  // local "yyyy-MM-dd hh:mm"
  const char* serial;
  bool plus;
  uint16_t flags;                  // %g (0xB000) or m/s² (0x9000) readings, pull measured
  std::array<uint16_t, 3> peaks;   // tenths of %g or hundredths of m/s²
  std::array<bool, 3> ticked;
  const char* vehicle;
  const char* examiner;
  const char* notes;
};

const Sample kSamples[] = {
    {"2026-04-02 09:12", "0123", true, 0xB000, {612, 281, 190}, {true, true, true}, "AB12 CDE", "J. Smith",
     "10%g start trigger\nannual test"},
    {"2026-04-02 10:40", "0123", true, 0xB000, {545, 262, 171}, {true, true, true}, "WX63 KLM", "J. Smith",
     "10%g start trigger\nfirst used 2013"},
    {"2026-04-09 14:05", "0042", false, 0xB000, {588, 0, 0}, {false, false, false}, "P123 ABC", "R. Patel",
     "10%g start trigger"},
    {"2026-04-16 08:55", "0123", true, 0x9000, {603, 251, 149}, {true, true, true}, "LN70 RTY", "R. Patel",
     "10%g start trigger\nwet road, retest of the parking brake due"},
    {"2026-04-23 11:30", "0123", true, 0xB000, {566, 244, 158}, {true, true, true}, "KT19 FEW", "J. Smith",
     "10%g start trigger\nservice brake pulls left"},
    {"2026-05-07 09:20", "0123", true, 0x9000, {611, 267, 172}, {true, true, true}, "LN70 RTY", "R. Patel",
     "10%g start trigger\nparking brake adjusted"},
    {"2026-05-14 10:32", "0123", true, 0xB000, {650, 370, 240}, {true, true, true}, "AB12 CDE", "J. Smith",
     "10%g start trigger\nbrakes pulled slightly to the left on the second run; dry road"},
};

protocol::ReadoutRecord RecordOfSample(const Sample& s) {
  const QDateTime at = QDateTime::fromString(QString::fromLatin1(s.readAt), QStringLiteral("yyyy-MM-dd hh:mm"));
  sim::InstrumentSetup setup;
  setup.serial = s.serial;
  setup.featureWord = s.plus ? 0x0020 : 0x0000;
  setup.flagsWord = s.flags;
  const QDate d = at.date();
  setup.clock = sim::CivilTime{d.year(), d.month(), d.day(), at.time().hour(), at.time().minute(), 0};
  const std::string day = at.toString(QStringLiteral("yyMMdd")).toStdString();
  for (std::size_t i = 0; i < 3; ++i) {
    setup.tests[i].peak = s.peaks[i];
    setup.tests[i].mean = static_cast<uint16_t>(s.peaks[i] * 4 / 5);
    setup.tests[i].date = day;
    setup.tests[i].time = at.addSecs(-60 * int(8 - 3 * i)).toString(QStringLiteral("hhmm")).toStdString();
  }
  protocol::ReadoutRecord r = RecordReadAt(setup, at.toMSecsSinceEpoch());
  r.port = 5;
  r.brakeTicked = s.ticked;
  r.vehicle = s.vehicle;
  r.examiner = s.examiner;
  r.notes = s.notes;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_ALL, "C");
  QApplication::setApplicationName(QStringLiteral("dravikPC"));
  QString archivePath, picture;
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString option = QString::fromLocal8Bit(argv[i]);
    if (option == QLatin1String("--archive")) archivePath = QString::fromLocal8Bit(argv[i + 1]);
    if (option == QLatin1String("--window")) picture = QString::fromLocal8Bit(argv[i + 1]);
  }
  if (archivePath.isEmpty() || picture.isEmpty() || QFile::exists(archivePath)) {
    std::fprintf(stderr, "usage: dravik-records-sample --archive NEW.sqlite --window PICTURE.png\n");
    return 2;
  }
  const archive::LocationResult where = archive::ParseLocation(archivePath.toStdString(), "");
  {
    archive::Archive a;
    if (!a.Open(where.location)) {
      std::fprintf(stderr, "dravik-records-sample: %s\n", a.Error().c_str());
      return 1;
    }
    for (const Sample& s : kSamples)
      if (!a.Keep(RecordOfSample(s))) {
        std::fprintf(stderr, "dravik-records-sample: %s\n", a.Error().c_str());
        return 1;
      }
  }
  // No regime file and no remembered choice: the window as a new examiner first sees it.
  QTemporaryDir config;
  RecordsWindow window(where, std::make_unique<RegimeChoice>(config.filePath(QStringLiteral("regimes.json")),
                                                             config.filePath(QStringLiteral("records.conf"))));
  window.show();
  window.Table->selectRow(0);
  QApplication::processEvents();
  if (!window.grab().save(picture)) {
    std::fprintf(stderr, "dravik-records-sample: cannot write %s\n", qPrintable(picture));
    return 1;
  }
  return 0;
}
