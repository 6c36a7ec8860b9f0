// The running system's name from uname.
#include <sys/utsname.h>

#include "platform/osname.h"

namespace platform {

std::string OperatingSystemName() {
  utsname name{};
  // uname: 0 on success, -1 with errno on failure.
  if (uname(&name) != 0) return "Unknown";
  return std::string(name.sysname) + " " + name.release + " (" + name.machine + ")";
}

}  // namespace platform
