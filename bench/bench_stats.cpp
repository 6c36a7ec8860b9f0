// Order statistics of the benchmark's samples.
#include "bench/bench_stats.h"

#include <algorithm>
#include <cmath>

namespace bench {

double Quantile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const double rank = std::ceil(p * static_cast<double>(samples.size()));
  const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return samples[std::min(index, samples.size() - 1)];
}

double Max(const std::vector<double>& samples) {
  return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
}

double Min(const std::vector<double>& samples) {
  return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end());
}

RunLatency SummariseRun(const std::vector<uint64_t>& latenciesNs) {
  std::vector<double> us;
  us.reserve(latenciesNs.size());
  for (uint64_t ns : latenciesNs) us.push_back(static_cast<double>(ns) / 1000.0);
  return {Quantile(us, 0.5), Quantile(us, 0.99)};
}

LatencySummary Combine(const std::vector<RunLatency>& runs, uint64_t exchanges) {
  std::vector<double> medians, p99s;
  for (const RunLatency& run : runs) {
    medians.push_back(run.medianUs);
    p99s.push_back(run.p99Us);
  }
  return {Median(medians), Max(p99s), static_cast<unsigned>(runs.size()), exchanges};
}

}  // namespace bench
