// A big archive for the archive's and the records window's benchmarks: `readouts` read-outs of
// two instruments (serials 0123 and 0042), one a minute, with 5,000 vehicles ("AB<n> CDE",
// n = i % 5000) and 40 examiners, kept once in a file that both benchmarks reuse.
#pragma once
#include <string>

#include "protocol/ReadoutRecord.h"

namespace bench {

// Read-out number `i` of the generated archive.
protocol::ReadoutRecord GeneratedReadout(long i);

// Makes (or tops up) the archive at `path` to `readouts` read-outs; exits the program on a failure.
void GenerateArchive(const std::string& path, long readouts);

}  // namespace bench
