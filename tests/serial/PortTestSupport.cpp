// The test application with its message pump, error capture, waiting and linked ptys.
#include "tests/serial/PortTestSupport.h"

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/hooks.h"
#include "platform/portmap.h"
#include "platform/qt/qtpump.h"

namespace {

std::mutex errorsMutex;
std::vector<std::string> shownErrors;

}  // namespace

void PortTestEnvironment::SetUp() {
  static int argc = 1;
  static char name[] = "dravik-port-test";
  static char* argv[] = {name, nullptr};
  app_ = std::make_unique<QApplication>(argc, argv);
  platform::InstallQtMessagePump();
  platform::SetShowErrorHook([](const std::string& message) {
    std::lock_guard lock(errorsMutex);
    shownErrors.push_back(message);
  });
  // CTest runs the tests of one executable in parallel processes that share its device-map
  // folder: each process links its ports in a folder of its own.
  const std::string folder = platform::DeviceMapFolder() + "/" + std::to_string(::getpid());
  ::setenv("DRAVIK_DEVICEMAP", folder.c_str(), 1);
  std::filesystem::create_directories(folder);
}

void PortTestEnvironment::TearDown() {
  platform::SetShowErrorHook(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(platform::DeviceMapFolder(), ignored);
  app_.reset();
}

std::vector<std::string> TakeShownErrors() {
  std::lock_guard lock(errorsMutex);
  std::vector<std::string> taken;
  taken.swap(shownErrors);
  return taken;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  return QTest::qWaitFor(done, timeoutMs);
}

void Settle(int ms) { QTest::qWait(ms); }

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

void LinkPort(int number, const std::string& target) {
  const std::filesystem::path link =
      std::filesystem::path(platform::DeviceMapFolder()) / ("com" + std::to_string(number));
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(target, link);
}

void UnlinkPort(int number) {
  std::error_code ignored;
  std::filesystem::remove(
      std::filesystem::path(platform::DeviceMapFolder()) / ("com" + std::to_string(number)), ignored);
}

LinkedPty::LinkedPty(int number, bool holdSlave) : pair_(holdSlave), number_(number) {
  LinkPort(number, pair_.slavePath());
}

LinkedPty::~LinkedPty() { UnlinkPort(number_); }

void LinkedPty::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(pair_.master(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else {
      pollfd fd{pair_.master(), POLLOUT, 0};
      ::poll(&fd, 1, 100);
    }
  }
}

std::string LinkedPty::Read(std::size_t count, int timeoutMs) {
  std::string got;
  QElapsedTimer timer;
  timer.start();
  char buffer[4096];
  while (got.size() < count && timer.elapsed() < timeoutMs) {
    pollfd fd{pair_.master(), POLLIN, 0};
    if (::poll(&fd, 1, 20) > 0) {
      const ssize_t n = ::read(pair_.master(), buffer, sizeof(buffer));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    } else {
      QCoreApplication::processEvents();
    }
  }
  return got;
}

static ::testing::Environment* const portTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new PortTestEnvironment);
