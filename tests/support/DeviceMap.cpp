// comN links and linked ptys in the test's device-map folder.
#include "tests/support/DeviceMap.h"

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <filesystem>

#include "platform/portmap.h"

namespace fs = std::filesystem;

namespace {

fs::path LinkPath(int number) { return fs::path(platform::DeviceMapFolder()) / ("com" + std::to_string(number)); }

}  // namespace

void UsePrivateDeviceMapFolder() {
  const std::string folder = platform::DeviceMapFolder() + "/" + std::to_string(::getpid());
  ::setenv("DRAVIK_DEVICEMAP", folder.c_str(), 1);
  fs::create_directories(folder);
}

void RemovePrivateDeviceMapFolder() {
  std::error_code ignored;
  fs::remove_all(platform::DeviceMapFolder(), ignored);
}

void LinkPort(int number, const std::string& target) {
  std::error_code ignored;
  fs::remove(LinkPath(number), ignored);
  fs::create_symlink(target, LinkPath(number));
}

void UnlinkPort(int number) {
  std::error_code ignored;
  fs::remove(LinkPath(number), ignored);
}

void RetargetPort(int number, const std::string& target) {
  const fs::path temporary =
      fs::path(platform::DeviceMapFolder()) / ("retarget-" + std::to_string(::getpid()) + "-" + std::to_string(number));
  std::error_code ignored;
  fs::remove(temporary, ignored);
  fs::create_symlink(target, temporary);
  fs::rename(temporary, LinkPath(number));  // replaces the link atomically
}

int ClaimPort(const std::string& target) {
  for (int number = 1; number <= 255; ++number) {
    std::error_code taken;
    fs::create_symlink(target, LinkPath(number), taken);
    if (!taken) return number;
  }
  return 0;
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
