// A port's device and this user's rights on it, through the port map and access().
#include <unistd.h>

#include <cerrno>

#include "platform/portaccess.h"
#include "platform/portmap.h"

namespace platform {

PortAccess CheckPortAccess(int portNumber) {
  const std::string path = DevicePathForPort(portNumber);
  if (path.empty()) return PortAccess::Missing;
  // access: 0 when allowed, -1 with errno (ENOENT: missing, EACCES: not allowed) otherwise.
  if (::access(path.c_str(), R_OK | W_OK) == 0) return PortAccess::Openable;
  return errno == EACCES || errno == EPERM || errno == EROFS ? PortAccess::Denied : PortAccess::Missing;
}

}  // namespace platform
