// CreateFileA for COM ports: "\\.\COMn" (or "COMn") is looked up in the port map and the tty
// behind it opened exclusively, raw, without becoming the controlling terminal.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/linux/comm_device.h"
#include "platform/linux/errno_map.h"
#include "platform/portmap.h"

using namespace platform::detail;

namespace {

HANDLE Fail(DWORD error) {
  SetLastErrorValue(error);
  return INVALID_HANDLE_VALUE;
}

// The port number of "\\.\COMn", "COMn" or "COMn:" (any case; n from 1, no leading zeros), or 0.
int PortNumberOf(std::string_view name) {
  if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
  if (name.size() < 4 || std::tolower(static_cast<unsigned char>(name[0])) != 'c' ||
      std::tolower(static_cast<unsigned char>(name[1])) != 'o' ||
      std::tolower(static_cast<unsigned char>(name[2])) != 'm')
    return 0;
  name.remove_prefix(3);
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  if (name.empty() || name.size() > 4 || name[0] == '0') return 0;
  int number = 0;
  for (char c : name) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  if (!fileName) return Fail(ERROR_INVALID_PARAMETER);
  // Only COM ports are served; any other name is "not found".
  const int port = PortNumberOf(fileName);
  if (port == 0) return Fail(ERROR_FILE_NOT_FOUND);
  const std::string path = platform::DevicePathForPort(port);
  if (path.empty()) return Fail(ERROR_FILE_NOT_FOUND);

  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);  // -1 + errno on failure
  if (fd < 0) return Fail(Win32ErrorFromErrno(errno));
  const auto failClosing = [fd](int error) {
    ::close(fd);  // nothing else is attached yet; close errors are not actionable
    return Fail(Win32ErrorFromErrno(error));
  };
  if (!::isatty(fd)) return failClosing(ENODEV);  // 0 + errno when not a terminal: no port there
  // The lock carries exclusivity between processes, root included (TIOCEXCL does not bind root).
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return failClosing(errno == EWOULDBLOCK ? EBUSY : errno);  // -1 + errno
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return failClosing(errno);  // -1 + errno on failure
  MakeRawTermios(tio);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return failClosing(errno);  // -1 + errno on failure

  int lines = 0;
  const bool hasLines = ::ioctl(fd, TIOCMGET, &lines) == 0;  // -1 + errno: a pty has no modem lines
  serial_icounter_struct counts{};
  const bool hasCounts = ::ioctl(fd, TIOCGICOUNT, &counts) == 0;  // -1 + errno: no counters (pty, USB)
  ::ioctl(fd, TIOCEXCL);  // -1 + errno on failure: the flock still keeps others out; undone at close
  auto device = std::make_shared<Device>(fd, !hasLines);  // owns fd from here on
  if (!device->ready()) return Fail(ERROR_TOO_MANY_OPEN_FILES);
  {
    std::lock_guard lock(device->mutex);
    device->hasModemLines = hasLines;
    device->hasCounts = hasCounts;
    device->eventSample = device->errorSample = SampleLines(*device);
    InitialiseShadowDcb(*device, tio);
  }
  HANDLE handle = InsertHandle(device);
  return handle ? handle : INVALID_HANDLE_VALUE;
}
