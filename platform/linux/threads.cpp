// Sleep and thread ids.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/linux/winsync.h"

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();  // Sleep(0) gives up the rest of the time slice
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Ids are issued from a counter on first use, so an id is never reused by a later thread (a
// kernel thread id may be, and message queues are keyed by these ids).
DWORD GetCurrentThreadId() {
  static std::atomic<DWORD> next{1};
  thread_local const DWORD id = next.fetch_add(1, std::memory_order_relaxed);
  return id;
}
