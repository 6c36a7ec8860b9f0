// What /proc tells about a client process: CPU time and context switches of all its threads,
// and its peak resident size.
#pragma once
#include <sys/types.h>

#include <cstdint>

namespace bench {

struct ProcSample {
  double cpuSeconds = 0;        // user + system time of the process (all threads)
  uint64_t contextSwitches = 0; // voluntary + involuntary, summed over the live threads
  unsigned threads = 0;         // live threads
  uint64_t peakRssKiB = 0;      // VmHWM
  uint64_t rssKiB = 0;          // VmRSS
};

// Reads the sample of a live process; all zero if it is gone.
ProcSample ReadProcSample(pid_t pid);

}  // namespace bench
