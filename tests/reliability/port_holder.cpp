// dravik-port-holder N: another program holding port COM N, for the busy-port tests. Opens the
// port as the serial layer does, prints "held" (or "failed <error>") and keeps it until its
// standard input ends.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/winapi.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dravik-port-holder N\n");
    return 2;
  }
  const std::string path = "\\\\.\\COM" + std::to_string(std::atoi(argv[1]));
  const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    std::printf("failed %lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  char c;
  while (::read(STDIN_FILENO, &c, 1) > 0) {
  }
  CloseHandle(port);
  return 0;
}
