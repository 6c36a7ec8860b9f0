// The exit statuses of dravik: what a script can tell from them.
#pragma once

enum ExitStatus : int {
  kExitDone = 0,
  kExitUsage = 2,          // unknown command or option, missing --port, bad date, --yes missing
  kExitPortFailed = 3,     // the port could not be opened
  kExitNoReadout = 4,      // no complete read-out within the time-out
  kExitArchiveFailed = 5,  // the archive could not be read or written
};
