// The serial devices of this machine, as the port map lists them after the comN links.
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <memory>
#include <string>

#include "platform/linux/portmap_rules.h"

namespace platform::detail {
namespace {

bool HasDigitsAfter(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// The 8250 driver registers placeholder ports with no UART behind them; the serial core tells
// them apart by the UART type (PORT_UNKNOWN = 0). Other drivers register only what exists.
bool IsRealUart(const std::string& name) {
  const std::string sys = "/sys/class/tty/" + name;
  if (::access((sys + "/device").c_str(), F_OK) != 0) return false;  // -1 + errno: no device behind it
  std::ifstream typeFile(sys + "/type");
  int type = -1;
  if (typeFile >> type) return type != PORT_UNKNOWN;
  char driver[PATH_MAX];
  const ssize_t length = ::readlink((sys + "/device/driver").c_str(), driver, sizeof driver - 1);  // -1 + errno
  if (length < 0) return false;
  const std::string driverPath(driver, static_cast<size_t>(length));
  if (driverPath.substr(driverPath.find_last_of('/') + 1) != "serial8250") return true;
  const int fd = ::open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);  // -1 + errno
  if (fd < 0) return false;  // cannot look: do not offer a port that may not exist
  serial_struct info{};
  const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;  // -1 + errno
  ::close(fd);
  return real;
}

}  // namespace

std::optional<std::vector<std::string>> ScanDetectedDevices() {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/dev"), ::closedir);  // nullptr + errno on failure
  if (!dir) return std::nullopt;
  std::vector<std::string> devices;
  while (const dirent* entry = ::readdir(dir.get())) {  // nullptr at the end
    const std::string name = entry->d_name;
    if (HasDigitsAfter(name, "ttyUSB") || HasDigitsAfter(name, "ttyACM") ||
        (HasDigitsAfter(name, "ttyS") && IsRealUart(name)))
      devices.push_back("/dev/" + name);
  }
  return devices;  // ArrangePortMap puts them in order
}

}  // namespace platform::detail
