// records_bench: what the records window costs on a big archive, measured (scripts/bench.sh
// --records runs it and writes the table into docs/PERFORMANCE.md). Not a test: it prints figures.
//   open    a new records window on the generated archive of 100,000 read-outs (bench/archive_fill),
//           until it lists the newest tests: the archive opened read-only, its instruments, the
//           query, every listed row fetched and sorted, the columns sized. The first window of a
//           process (the SQLite driver loads then), and the median of later ones.
//   filter  typing a whole registration into the search (20 read-outs), a part of one ("AB12",
//           about 2,200 read-outs), clearing it again, and choosing one instrument (a seventh of
//           the read-outs, more tests than are listed).
//   sort    sorting the listed tests by verdict and by peak.
// The window is real, on Qt's offscreen platform. Usage: records_bench [--dir DIR] [--readouts N] [--runs N]
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/archive_fill.h"
#include "bench/bench_stats.h"
#include "records/RecordsWindow.h"

namespace {

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

double Time(const std::function<void()>& work) {
  QElapsedTimer t;
  t.start();
  work();
  return Ms(t);
}

std::unique_ptr<RecordsWindow> NewWindow(const std::string& path, const QTemporaryDir& config) {
  return std::make_unique<RecordsWindow>(
      archive::ParseLocation(path, ""),
      std::make_unique<RegimeChoice>(config.filePath(QStringLiteral("regimes.json")),
                                     config.filePath(QStringLiteral("records.conf"))));
}

void Row(const char* figure, const char* goal, const std::vector<double>& ms, const RecordsWindow& w) {
  std::printf("| %s | %s | %.1f ms (max %.1f) | %d |\n", figure, goal, bench::Median(ms), bench::Max(ms),
              w.Table->model()->rowCount());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("dravikPC"));
  std::string dir = "build/bench/archive";
  long readouts = 100'000;
  int runs = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--dir") dir = argv[i + 1];
    if (option == "--readouts") readouts = std::atol(argv[i + 1]);
    if (option == "--runs") runs = std::atoi(argv[i + 1]);
  }
  std::filesystem::create_directories(dir);
  const std::string big = dir + "/archive-" + std::to_string(readouts) + ".sqlite";
  bench::GenerateArchive(big, readouts);
  const QTemporaryDir config;

  std::unique_ptr<RecordsWindow> w;
  const double first = Time([&] { w = NewWindow(big, config); });
  std::vector<double> opens;
  for (int i = 0; i < runs; ++i) {
    w.reset();
    opens.push_back(Time([&] { w = NewWindow(big, config); }));
  }
  std::vector<double> whole, part, cleared, instrument, byVerdict, byPeak;
  for (int i = 0; i < runs; ++i) {
    whole.push_back(Time([&] { w->SetVehicleSearch(QStringLiteral("ab%1cde").arg(100 + i)); }));
    part.push_back(Time([&] { w->SetVehicleSearch(QStringLiteral("AB12")); }));
    cleared.push_back(Time([&] { w->SetVehicleSearch(QString()); }));
    instrument.push_back(Time([&] { w->SetInstrument(QStringLiteral("0042")); }));
    w->SetInstrument(QString());
    byVerdict.push_back(Time([&] { w->Table->sortByColumn(kColVerdict, Qt::AscendingOrder); }));
    byPeak.push_back(Time([&] { w->Table->sortByColumn(kColPeak, Qt::DescendingOrder); }));
    w->Table->sortByColumn(kColReadAt, Qt::DescendingOrder);
  }

  std::printf("| Figure (archive of %ld read-outs) | Goal | Measured, median of %d | Tests listed after |\n"
              "|---|---|---|---|\n", readouts, runs);
  std::printf("| open: a process's first window (SQLite driver loaded) | < 200 ms | %.1f ms | |\n", first);
  Row("open: a new window, the newest tests listed", "< 200 ms", opens, *w);
  w->SetVehicleSearch(QStringLiteral("ab100cde"));
  Row("filter by a whole registration (\"ab100cde\": 20 read-outs)", "< 200 ms", whole, *w);
  w->SetVehicleSearch(QStringLiteral("AB12"));
  Row("filter by a part (\"AB12\": about 2,200 read-outs)", "< 200 ms", part, *w);
  w->SetVehicleSearch(QString());
  Row("clear the search", "", cleared, *w);
  w->SetInstrument(QStringLiteral("0042"));
  Row("filter by instrument (\"0042\": 14,286 read-outs)", "", instrument, *w);
  w->SetInstrument(QString());
  Row("sort the listed tests by verdict", "", byVerdict, *w);
  Row("sort the listed tests by peak", "", byPeak, *w);
  return 0;
}
