// The generated archive of the benchmarks.
#include "bench/archive_fill.h"

#include <QSqlQuery>
#include <cstdio>
#include <cstdlib>

#include "archive/Archive.h"
#include "tests/support/SimReadout.h"

namespace bench {

protocol::ReadoutRecord GeneratedReadout(long i) {
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

void GenerateArchive(const std::string& path, long readouts) {
  archive::Archive a;
  if (!a.Open(archive::ParseLocation(path, "").location)) {
    std::fprintf(stderr, "bench: %s\n", a.Error().c_str());
    std::exit(1);
  }
  const long have = static_cast<long>(a.Find({})->size());
  if (have >= readouts) return;
  std::fprintf(stderr, "bench: generating %ld read-outs in %s ...\n", readouts - have, path.c_str());
  QSqlQuery(a.Database()).exec(QStringLiteral("PRAGMA synchronous = OFF"));  // generating only
  for (long i = have; i < readouts; ++i)
    if (!a.Keep(GeneratedReadout(i))) {
      std::fprintf(stderr, "bench: %s\n", a.Error().c_str());
      std::exit(1);
    }
}

}  // namespace bench
