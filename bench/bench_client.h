// The command line and the report lines every benchmark client shares. A client is started by
// serial_bench as
//   <client> <port> latency <warm-up exchanges> <measured exchanges>
//   <client> <port> stream <bytes> <stall: 0|1>
//   <client> <port> idle
// prints "ready" once its port is open, and at the end one "result ..." line (or "error ...").
#pragma once
#include <cstdint>
#include <string>

#include "bench/bench_wire.h"

namespace bench {

enum class Mode { Latency, Stream, Idle };

struct ClientArgs {
  std::string port;
  Mode mode = Mode::Idle;
  unsigned warmup = 0, count = 0;  // latency
  uint64_t bytes = 0;              // stream
  bool stall = false;              // stream: the user-interface thread stalls
};

// Parses the command line; prints the usage and exits on a bad one.
ClientArgs ParseClientArgs(int argc, char** argv);

// A stream run with no byte for this long ends with what it has (the rest counts as lost).
inline constexpr int kQuietLimitMs = 5000;

void ReportReady();
void ReportLatency(const ExchangeClock& clock);
void ReportStream(const PatternCheck& check, uint64_t elapsedNs, unsigned stalls);
void ReportIdle();
// Prints "error <text>" and exits with status 1.
[[noreturn]] void Fail(const std::string& text);

}  // namespace bench
