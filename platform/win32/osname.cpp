// The running Windows version from the system's version record.
#include <cstdio>

#include "platform/osname.h"
#include "platform/winapi.h"

namespace platform {

std::string OperatingSystemName() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  // GetVersionExA: nonzero on success, 0 with GetLastError on failure.
  if (!GetVersionExA(&info)) return "Unknown";
  char text[96];
  std::snprintf(text, sizeof text, "Windows %s %lu.%lu (build %lu)",
                info.dwPlatformId == VER_PLATFORM_WIN32_NT ? "NT" : "9x",
                static_cast<unsigned long>(info.dwMajorVersion),
                static_cast<unsigned long>(info.dwMinorVersion),
                static_cast<unsigned long>(info.dwBuildNumber & 0xFFFF));
  return text;
}

}  // namespace platform
