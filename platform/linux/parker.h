// Parkers: where a thread of the platform layer sleeps while it waits for another thread (an
// event wait, a blocking SendMessageTimeout), with the waker's wake-up made after it has let go
// of any lock the sleeper would need. Parkers are never freed: one whose thread has ended goes
// back to a pool, so a late wake-up lands on live memory and at worst wakes the parker's next
// owner, whose sleep looks at its own condition again.
#pragma once
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::detail {

// Where a thread sleeps while it waits: a futex word that each wake-up moves on,
// and whether its thread is asleep on it, so that a waker makes the wake-up system call only
// for a thread that needs it. Plain futex calls and no mutex: a condition variable's waiter
// takes its mutex back on waking and leaves it marked contended, so every hand-off would cost
// one more call.
struct Parker {
  std::atomic<uint32_t> sequence{0};
  std::atomic<bool> sleeping{false};

  // Sleeps until Done() holds or Deadline passes (none: no limit); false on time-out. The
  // parker's own thread only.
  template <typename Done>
  bool Sleep(const Done& done, const std::optional<std::chrono::steady_clock::time_point>& deadline) {
    for (;;) {
      const uint32_t seen = sequence.load(std::memory_order_acquire);
      sleeping.store(true, std::memory_order_seq_cst);
      if (done()) break;
      timespec relative{};
      if (deadline) {
        const auto left = *deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) break;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        relative.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        relative.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      }
      // FUTEX_WAIT: 0 when woken, -1 with EAGAIN (the word moved on), ETIMEDOUT or EINTR: each
      // case looks at done again.
      ::syscall(SYS_futex, &sequence, FUTEX_WAIT_PRIVATE, seen, deadline ? &relative : nullptr, nullptr, 0);
    }
    sleeping.store(false, std::memory_order_relaxed);
    return done();
  }

  // Any thread, after making the sleeper's condition true.
  void Wake() {
    sequence.fetch_add(1, std::memory_order_release);
    if (sleeping.load(std::memory_order_seq_cst))
      // FUTEX_WAKE: the number woken, or -1 (nothing to do about it: the sleeper re-checks).
      ::syscall(SYS_futex, &sequence, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  }
};

// The calling thread's parker, taken from the pool on first use and put back as the thread ends.
inline Parker& ThisThreadParker() {
  static std::mutex* poolMutex = new std::mutex;                 // outlive static teardown
  static std::vector<Parker*>* pool = new std::vector<Parker*>;  // (poolMutex)
  struct Holder {
    Parker* parker;
    Holder() {
      std::lock_guard lock(*poolMutex);
      if (pool->empty()) {
        parker = new Parker;  // never freed: the pool keeps it
      } else {
        parker = pool->back();
        pool->pop_back();
      }
    }
    ~Holder() {
      std::lock_guard lock(*poolMutex);
      pool->push_back(parker);
    }
  };
  thread_local Holder holder;
  return *holder.parker;
}

}  // namespace platform::detail
