// /proc sampling of a client process.
#include "bench/bench_proc.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace bench {
namespace {

// The value of a "Name:   123 kB" line of a status file, or 0.
uint64_t StatusValue(const std::string& path, const char* name) {
  FILE* file = std::fopen(path.c_str(), "r");  // nullptr when the process or thread is gone
  if (!file) return 0;
  char line[256];
  uint64_t value = 0;
  const std::size_t length = std::strlen(name);
  while (std::fgets(line, sizeof line, file))
    if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
      value = std::strtoull(line + length + 1, nullptr, 10);
      break;
    }
  std::fclose(file);
  return value;
}

}  // namespace

ProcSample ReadProcSample(pid_t pid) {
  ProcSample sample;
  const std::string base = "/proc/" + std::to_string(pid);
  // Fields 14 and 15 of stat (utime, stime) cover every thread of the process.
  if (FILE* file = std::fopen((base + "/stat").c_str(), "r")) {
    char text[1024];
    const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[n] = '\0';
    if (const char* p = std::strrchr(text, ')')) {
      unsigned long long utime = 0, stime = 0;
      // After ") ": state(3) ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
      if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) == 2)
        sample.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
  }
  if (DIR* tasks = opendir((base + "/task").c_str())) {
    while (dirent* entry = readdir(tasks)) {
      if (entry->d_name[0] == '.') continue;
      const std::string status = base + "/task/" + entry->d_name + "/status";
      sample.contextSwitches +=
          StatusValue(status, "voluntary_ctxt_switches") + StatusValue(status, "nonvoluntary_ctxt_switches");
      ++sample.threads;
    }
    closedir(tasks);
  }
  sample.peakRssKiB = StatusValue(base + "/status", "VmHWM");
  sample.rssKiB = StatusValue(base + "/status", "VmRSS");
  return sample;
}

}  // namespace bench
