// The port tests' application and the thread count.
#include "tests/serial/PortTestSupport.h"

#include <QApplication>
#include <filesystem>
#include <thread>

#include "tests/support/QtTestEnvironment.h"

static ::testing::Environment* const portTestEnvironment =
    RegisterQtTestEnvironment<QApplication>([] { CaptureShownErrors(); });

int ThreadCount() {
  static const bool warmedUp = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)warmedUp;
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++n;
  }
  return n;
}
