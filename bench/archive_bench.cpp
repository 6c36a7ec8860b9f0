// archive_bench: what the results archive costs on SQLite, measured (scripts/bench.sh --archive
// runs it and writes the table into docs/PERFORMANCE.md). Not a test: it prints figures.
//   store   keeping one read-out (one transaction, synchronous commit), on a fresh archive
//   open    opening an archive of 100,000 read-outs (generated once, kept in --dir); the first
//           open of a process loads the SQLite driver, later ones do not
//   memory  the resident size of a fresh process before and after opening that archive and
//           finding one vehicle's read-outs in it (each figure from its own child process)
// Usage: archive_bench [--dir DIR] [--readouts N] [--keeps N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/Archive.h"
#include "bench/bench_proc.h"
#include "bench/bench_stats.h"
#include "tests/support/SimReadout.h"

namespace {

archive::Location At(const std::string& path) { return archive::ParseLocation(path, "").location; }

protocol::ReadoutRecord Readout(long i) {
  sim::InstrumentSetup setup;
  setup.serial = i % 7 == 0 ? "0042" : "0123";
  setup.tests[0].peak = static_cast<uint16_t>(i % 1000);
  setup.tests[1].peak = static_cast<uint16_t>(i / 1000 % 1000);
  protocol::ReadoutRecord r = RecordReadAt(setup, 1'600'000'000'000 + i * 60'000);
  r.vehicle = "AB" + std::to_string(i % 5000) + " CDE";
  r.examiner = "Examiner " + std::to_string(i % 40);
  r.notes = "10%g start trigger\nbench read-out " + std::to_string(i);
  return r;
}

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

std::vector<double> Store(const std::string& dir, int keeps) {
  const std::string path = dir + "/store.sqlite";
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  archive::Archive a;
  if (!a.Open(At(path))) {
    std::fprintf(stderr, "archive_bench: %s\n", a.Error().c_str());
    std::exit(1);
  }
  std::vector<double> ms;
  for (int i = 0; i < keeps; ++i) {
    const protocol::ReadoutRecord r = Readout(i);
    QElapsedTimer t;
    t.start();
    if (!a.Keep(r)) std::exit(1);
    ms.push_back(Ms(t));
  }
  return ms;
}

void Generate(const std::string& path, long readouts) {
  archive::Archive a;
  if (!a.Open(At(path))) std::exit(1);
  const long have = static_cast<long>(a.Find({})->size());
  if (have >= readouts) return;
  std::fprintf(stderr, "archive_bench: generating %ld read-outs in %s ...\n", readouts - have, path.c_str());
  QSqlQuery(a.Database()).exec(QStringLiteral("PRAGMA synchronous = OFF"));  // generating only
  for (long i = have; i < readouts; ++i)
    if (!a.Keep(Readout(i))) {
      std::fprintf(stderr, "archive_bench: %s\n", a.Error().c_str());
      std::exit(1);
    }
}

// This program again, as a fresh process: "--rss PATH" prints its resident size before and after.
uint64_t RssKiB() { return bench::ReadProcSample(::getpid()).rssKiB; }

// The first open of a fresh process (the SQLite driver is loaded then) and its resident size.
int RssChild(const std::string& path) {
  const uint64_t before = RssKiB();
  archive::Archive a;
  QElapsedTimer t;
  t.start();
  if (!a.Open(At(path))) return 1;
  const double openMs = Ms(t);
  const uint64_t opened = RssKiB();
  a.Find({.vehicle = "AB123 CDE", .vehicleExact = true});
  std::printf("%llu %llu %llu %.3f\n", static_cast<unsigned long long>(before), static_cast<unsigned long long>(opened),
              static_cast<unsigned long long>(RssKiB()), openMs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string dir = "build/bench/archive";
  long readouts = 100'000;
  int keeps = 300;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--rss") return RssChild(argv[i + 1]);
    if (option == "--dir") dir = argv[i + 1];
    if (option == "--readouts") readouts = std::atol(argv[i + 1]);
    if (option == "--keeps") keeps = std::atoi(argv[i + 1]);
  }
  std::filesystem::create_directories(dir);
  const std::string big = dir + "/archive-" + std::to_string(readouts) + ".sqlite";
  Generate(big, readouts);

  const std::vector<double> store = Store(dir, keeps);
  std::vector<double> opens;
  for (int i = 0; i < 20; ++i) {
    archive::Archive a;
    QElapsedTimer t;
    t.start();
    if (!a.Open(At(big))) return 1;
    opens.push_back(Ms(t));
  }
  const std::string command = std::string(argv[0]) + " --rss " + big;
  unsigned long long before = 0, opened = 0, found = 0;
  double firstOpen = 0;
  if (FILE* child = ::popen(command.c_str(), "r")) {
    if (std::fscanf(child, "%llu %llu %llu %lf", &before, &opened, &found, &firstOpen) != 4) before = opened = found = 0;
    ::pclose(child);
  }

  std::printf("| Figure | Goal | Measured |\n|---|---|---|\n");
  std::printf("| keep one read-out, median of %d (p90, max) | < 20 ms | %.2f ms (%.2f, %.2f) |\n", keeps,
              bench::Median(store), bench::Quantile(store, 0.9), bench::Max(store));
  std::printf("| open an archive of %ld read-outs: a fresh process's first open (SQLite driver loaded) | < 300 ms | %.1f ms |\n",
              readouts, firstOpen);
  std::printf("| the same, median of 20 opens once the driver is loaded | | %.1f ms |\n", bench::Median(opens));
  std::printf("| resident size: before opening, opened, after finding one vehicle | within 5 MiB | %.1f, %.1f, %.1f MiB (+%.1f MiB) |\n",
              before / 1024.0, opened / 1024.0, found / 1024.0, (static_cast<double>(found) - before) / 1024.0);
  std::printf("| archive file of %ld read-outs | | %.1f MiB |\n", readouts,
              static_cast<double>(std::filesystem::file_size(big)) / (1024.0 * 1024.0));
  return 0;
}
