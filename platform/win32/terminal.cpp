// Standard error on a console, by its console mode.
#include "platform/terminal.h"
#include "platform/winapi.h"

namespace platform {

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  // GetConsoleMode: nonzero for a console handle, 0 (GetLastError) for a pipe or a file.
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform
