// Order statistics of the benchmark's samples.
#pragma once
#include <cstdint>
#include <vector>

namespace bench {

// The p-quantile (0 < p <= 1) by nearest rank: the smallest sample with at least p of the
// samples at or below it. 0 for no samples.
double Quantile(std::vector<double> samples, double p);
inline double Median(std::vector<double> samples) { return Quantile(std::move(samples), 0.5); }
double Max(const std::vector<double>& samples);
double Min(const std::vector<double>& samples);

// Per-run latency figures and how runs are combined: the median across runs of each run's
// median, and the worst run's 99th percentile.
struct RunLatency {
  double medianUs = 0, p99Us = 0;
};
RunLatency SummariseRun(const std::vector<uint64_t>& latenciesNs);
struct LatencySummary {
  double medianUs = 0;     // median of the runs' medians
  double worstP99Us = 0;   // largest of the runs' 99th percentiles
  unsigned runs = 0;
  uint64_t exchanges = 0;
};
LatencySummary Combine(const std::vector<RunLatency>& runs, uint64_t exchanges);

}  // namespace bench
