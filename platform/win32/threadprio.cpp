// Thread priorities on Windows: SetThreadPriority on the scale idle .. time critical.
#include <algorithm>

#include "platform/threadprio.h"
#include "platform/winapi.h"

namespace platform {

uint64_t CurrentThreadPriorityId() {
  // GetCurrentThreadId: never fails.
  return GetCurrentThreadId();
}

bool SetThreadPriorityLevel(uint64_t id, int levelsAboveNormal) {
  static const int scale[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                              THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                              THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                              THREAD_PRIORITY_TIME_CRITICAL};
  const int index = std::clamp(levelsAboveNormal, -3, 3) + 3;
  // OpenThread: NULL on failure (GetLastError).
  HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (!thread) return false;
  // SetThreadPriority: FALSE on failure (GetLastError).
  const bool done = SetThreadPriority(thread, scale[index]) != FALSE;
  CloseHandle(thread);
  return done;
}

}  // namespace platform
