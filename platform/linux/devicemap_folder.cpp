// Where the comN links of the port map live on Linux.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/portmap.h"

namespace platform {

std::string DeviceMapFolder() {
  if (const char* explicitFolder = std::getenv("DRAVIK_DEVICEMAP"); explicitFolder && *explicitFolder)
    return explicitFolder;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/dravik/devicemap";
  return "/tmp/dravik-" + std::to_string(getuid()) + "/devicemap";  // getuid never fails
}

}  // namespace platform
