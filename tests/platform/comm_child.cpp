// Helper for the comm tests, run as an unprivileged user: opens COM<n> from the device-map folder,
// closes it and opens it again. Exit status 0 when both opens succeed, else the failing step.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/winapi.h"

int main(int argc, char** argv) {
  if (argc != 2) return 64;
  const std::string name = std::string("\\\\.\\COM") + argv[1];
  for (int attempt = 1; attempt <= 2; ++attempt) {
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "open %d of %s failed with %u\n", attempt, name.c_str(), GetLastError());
      return attempt;
    }
    CloseHandle(port);
  }
  return 0;
}
