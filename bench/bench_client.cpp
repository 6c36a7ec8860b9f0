// Command line and report lines of the benchmark clients.
#include "bench/bench_client.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

ClientArgs ParseClientArgs(int argc, char** argv) {
  ClientArgs args;
  const auto usage = [&] {
    std::fprintf(stderr,
                 "usage: %s <port> latency <warmup> <count> | stream <bytes> <stall 0|1> | idle\n",
                 argc > 0 ? argv[0] : "client");
    std::exit(2);
  };
  if (argc < 3) usage();
  args.port = argv[1];
  const std::string mode = argv[2];
  if (mode == "latency" && argc == 5) {
    args.mode = Mode::Latency;
    args.warmup = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    args.count = static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10));
  } else if (mode == "stream" && argc == 5) {
    args.mode = Mode::Stream;
    args.bytes = std::strtoull(argv[3], nullptr, 10);
    args.stall = std::strcmp(argv[4], "1") == 0;
  } else if (mode == "idle" && argc == 3) {
    args.mode = Mode::Idle;
  } else {
    usage();
  }
  return args;
}

void ReportReady() {
  std::printf("ready\n");
  std::fflush(stdout);
}

void ReportLatency(const ExchangeClock& clock) {
  std::printf("result latency bad=%u ns=", clock.BadReplies());
  const auto& values = clock.LatenciesNs();
  for (std::size_t i = 0; i < values.size(); ++i)
    std::printf("%s%llu", i ? "," : "", static_cast<unsigned long long>(values[i]));
  std::printf("\n");
  std::fflush(stdout);
}

void ReportStream(const PatternCheck& check, uint64_t elapsedNs, unsigned stalls) {
  std::printf("result stream bytes=%llu wrong=%llu ns=%llu stalls=%u\n",
              static_cast<unsigned long long>(check.received()), static_cast<unsigned long long>(check.wrong()),
              static_cast<unsigned long long>(elapsedNs), stalls);
  std::fflush(stdout);
}

void ReportIdle() {
  std::printf("result idle\n");
  std::fflush(stdout);
}

void Fail(const std::string& text) {
  std::printf("error %s\n", text.c_str());
  std::fflush(stdout);
  std::exit(1);
}

}  // namespace bench
