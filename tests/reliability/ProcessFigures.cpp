// Figures of the test process, from getrusage and /proc.
#include "tests/reliability/ProcessFigures.h"

#include <sys/resource.h>

#include <QEventLoop>
#include <QTimer>
#include <filesystem>

double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);  // -1 only for a bad argument
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

namespace {

int EntriesIn(const char* folder) {
  int n = 0;
  std::error_code ignored;
  for (auto it = std::filesystem::directory_iterator(folder, ignored); it != std::filesystem::directory_iterator();
       it.increment(ignored))
    ++n;
  return n;
}

}  // namespace

int ProcessThreads() { return EntriesIn("/proc/self/task"); }

// The listing's own descriptor is counted too, every time alike.
int OpenDescriptors() { return EntriesIn("/proc/self/fd"); }

void RunEventLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

int SanitizerSlowdown() {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  return 5;
#else
  return 1;
#endif
}
