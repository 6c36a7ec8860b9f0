// The metric-compatible Tahoma of Debian's fonts-wine package.
#include <unistd.h>

#include "platform/fonts.h"

namespace platform {

std::vector<std::string> TahomaFontFiles() {
  std::vector<std::string> files;
  for (const char* path : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
    // access: 0 when the file exists and is readable, -1 with errno otherwise.
    if (::access(path, R_OK) == 0) files.emplace_back(path);
  }
  return files;
}

}  // namespace platform
