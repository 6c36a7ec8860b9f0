// The figures one serial_bench run collects, per stack, and the report written from them.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_stats.h"

namespace bench {

struct StackInfo {
  std::string key;     // "ours", "qserialport", "libserialport", "poll"
  std::string label;   // as shown in the tables
  std::string note;    // how it was measured, if that needs saying
};

struct StreamRun {
  double mbPerSecond = 0;  // 10^6 bytes per second, from the request to the last byte
  uint64_t lost = 0;       // bytes asked for and never received
  uint64_t wrong = 0;      // bytes received out of pattern
};

struct IdleFigures {
  bool measured = false;
  double seconds = 0;
  double cpuMs = 0;            // CPU time used in the window
  double wakeupsPerSecond = 0; // context switches of all threads per second
  unsigned threads = 0;
  uint64_t peakRssKiB = 0;     // VmHWM with the port open
};

struct CostFigures {
  double cpuUsPerMessage = -1;      // rusage, differential; -1 not measured
  double switchesPerMessage = -1;   // rusage, differential; -1 not measured
  double syscallsPerMessage = -1;   // strace -c -f, differential; -1 not measured
  double instructionsPerMessage = -1;  // callgrind, differential; -1 not measured
  double instructionsPerByte = -1;  // callgrind of a stream, differential
};

// One placement of the processes: both free, or the peer and the client on different cores.
struct Placement {
  std::string name;  // "unpinned", "pinned"
  std::map<std::string, std::vector<RunLatency>> latency;            // by stack
  std::map<std::string, std::vector<StreamRun>> stream, stalled;      // by stack
  // hop_bench in the client's placement (µs, median): one platform event hop, a Qt-pumped
  // SendMessageTimeout round trip, one condition-variable hop; -1 not measured.
  double eventHopUs = -1, sendRoundTripUs = -1, cvHopUs = -1;
};

struct Results {
  std::vector<StackInfo> stacks;
  std::vector<Placement> placements;
  std::map<std::string, IdleFigures> idle;
  std::map<std::string, CostFigures> cost;
  double dispatchInstructionsPerByte = -1;  // dispatch_bench under callgrind, differential
  unsigned runs = 0, messages = 0;
  uint64_t streamBytes = 0;
  std::string loadBefore, loadAfter;
  std::vector<std::string> failures;        // runs that did not complete, and why
};

// The Markdown of the generated part of docs/PERFORMANCE.md.
std::string RenderReport(const Results& results);
// Puts `generated` between the markers of the file at `path` (the rest of the file is kept;
// a missing file or missing markers get a fresh file with just the markers and the block).
bool WriteReport(const std::string& path, const std::string& generated);

}  // namespace bench
