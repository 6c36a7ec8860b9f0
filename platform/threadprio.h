// Thread priorities for the serial layer's worker threads. A worker records its own id when it
// starts; another thread can then move it on the platform's scale of levels around "normal"
// (idle, lowest, below normal, normal, above normal, highest, time critical).
#pragma once
#include <cstdint>

namespace platform {

// An id of the calling thread that SetThreadPriorityLevel accepts. Valid until the thread ends.
uint64_t CurrentThreadPriorityId();

// Sets thread `id` to `levelsAboveNormal` levels above normal (negative: below; clamped to the
// scale). False when the system refuses (on Linux an unprivileged process cannot raise a
// thread above normal; that is not an error for the caller, the thread just stays as it is).
bool SetThreadPriorityLevel(uint64_t id, int levelsAboveNormal);

}  // namespace platform
