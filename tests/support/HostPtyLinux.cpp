// The host calls of HostPty.h on Linux: plain read, write, poll and symlink.
#include "tests/support/HostPty.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/portmap.h"

namespace testsupport {

long HostRead(int fd, void* buffer, size_t size) {
  const ssize_t n = ::read(fd, buffer, size);  // -1 + errno on failure
  return n < 0 ? -errno : n;
}

long HostWrite(int fd, const void* data, size_t size) {
  const ssize_t n = ::write(fd, data, size);  // -1 + errno on failure
  return n < 0 ? -errno : n;
}

int HostPoll(int fd, short events, int timeoutMs) {
  pollfd one{fd, events, 0};
  const int n = ::poll(&one, 1, timeoutMs);  // -1 + errno on failure
  return n < 0 ? -errno : n;
}

bool LinkComPort(const std::string& folder, int number, const std::string& target) {
  const std::string path = folder + "/com" + std::to_string(number);
  if (::symlink(target.c_str(), path.c_str()) == 0) return true;  // -1 + errno on failure
  if (errno == EEXIST) return false;
  throw std::system_error(errno, std::generic_category(), "symlink " + path);
}

void UnlinkComPort(const std::string& folder, int number) {
  ::unlink((folder + "/com" + std::to_string(number)).c_str());  // a missing link is fine
}

std::string ComLinkFolder() { return platform::DeviceMapFolder(); }

}  // namespace testsupport
