// Whether the program's standard error goes to a terminal (a person watching) or elsewhere (a
// pipe, a file, a log): progress lines are for terminals only.
#pragma once

namespace platform {

bool StandardErrorIsTerminal();

}  // namespace platform
