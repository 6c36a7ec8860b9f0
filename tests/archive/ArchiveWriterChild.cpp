// archive_writer_child ARCHIVE SERIAL COUNT: keeps COUNT read-outs of instrument SERIAL, each
// with results of its own, and prints the id of each as soon as it is committed. The process
// tests run it to kill it in the middle of a burst and to run two writers at once.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "tests/archive/ArchiveTestSupport.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: archive_writer_child ARCHIVE SERIAL COUNT\n");
    return 2;
  }
  archive::Archive a;
  if (!a.Open(SqliteAt(QString::fromLocal8Bit(argv[1])))) {
    std::fprintf(stderr, "archive_writer_child: %s\n", a.Error().c_str());
    return 1;
  }
  const long count = std::atol(argv[3]);
  for (long i = 0; i < count; ++i) {
    const auto kept = a.Keep(ReadoutWithPeak(static_cast<unsigned>(i % 60000), argv[2], 1'700'000'000'000 + i));
    if (!kept) {
      std::fprintf(stderr, "archive_writer_child: %s\n", a.Error().c_str());
      return 1;
    }
    std::printf("%lld\n", static_cast<long long>(kept->id));
    std::fflush(stdout);
  }
  return 0;
}
