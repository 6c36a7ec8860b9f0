// Standard error on a terminal, by isatty.
#include <unistd.h>

#include "platform/terminal.h"

namespace platform {

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;  // isatty: 1 for a terminal, 0 with errno otherwise
}

}  // namespace platform
