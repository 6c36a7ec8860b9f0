// Thread priorities on Linux: the levels map to nice values of the thread (its kernel task id),
// five nice steps per level, so "normal" is nice 0 and "highest" is nice -10.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "platform/threadprio.h"

namespace platform {

uint64_t CurrentThreadPriorityId() {
  // gettid: never fails.
  return static_cast<uint64_t>(syscall(SYS_gettid));
}

bool SetThreadPriorityLevel(uint64_t id, int levelsAboveNormal) {
  const int level = std::clamp(levelsAboveNormal, -3, 3);  // idle .. time critical
  const int nice = std::clamp(-5 * level, -20, 19);
  // setpriority: -1 with errno (EACCES/EPERM when raising without privilege, ESRCH when gone).
  return setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice) == 0;
}

}  // namespace platform
