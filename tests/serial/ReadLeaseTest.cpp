// The dispatch buffer's read lease with real threads (meant for the tsan preset as much as for
// its checks): a reader thread reads ahead at any moment, inside a lease or after it was taken
// back, while this thread fills, lends, takes back and consumes as the dispatch thread does,
// every other delivery with a second handler of its own that reads all.
// Bytes read ahead in one run of lock-free reads must be consecutive, however late the read: a
// cell refilled since it was lent would hold a byte one ring (8192 = 160 mod 251) further on.
// The same protocol is model-checked in model/read_lease.pml.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "serial/AwUserBuffer.h"

namespace {

uint8_t ByteFor(uint64_t position) { return static_cast<uint8_t>(position % 251); }

void Fill(DispatchBuffer& buffer, const InputGuard& held, uint64_t& nextPosition, uint32_t most) {
  uint8_t* into;
  uint32_t contiguous, total;
  for (int chunk = 0; chunk < 2; ++chunk) {
    buffer.FreeSpace(held, into, contiguous, total);
    const uint32_t count = std::min(contiguous, most);
    for (uint32_t i = 0; i < count; ++i) into[i] = ByteFor(nextPosition + i);
    buffer.CommitFill(held, count);
    nextPosition += count;
    most -= count;
  }
}

TEST(ReadLease, LateAndConcurrentReadsGetTheStoredBytes) {
  std::recursive_mutex inputLock;
  DispatchBuffer buffer;
  {
    InputGuard held(inputLock);
    buffer.Open(held);
  }
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> wrong{0}, leasedReads{0};
  std::thread reader([&] {
    int last = -1;  // the byte before, in this run of lock-free reads
    while (!stop.load()) {
      uint8_t byte;
      if (buffer.TryLeasedRead(byte)) {
        ++leasedReads;
        if (last >= 0 && byte != (last + 1) % 251) ++wrong;
        last = byte;
        continue;
      }
      // Acknowledges a revoked lease, claims the current one, or reads through the lock.
      InputGuard held(inputLock);
      buffer.ReadLocked(held, byte);
      last = -1;
    }
  });

  uint64_t nextPosition = 0;
  for (int round = 0; round < 3000; ++round) {
    {
      InputGuard held(inputLock);
      Fill(buffer, held, nextPosition, 1 + static_cast<uint32_t>(round % 97) * 53);
      buffer.BeginDelivery(held);
      buffer.LendToHandler(held);
    }
    // The handler "runs" for a while, or not at all: the lease is taken back regardless of
    // where the reader is, as after a time-out.
    for (int spin = 0; spin < round % 50; ++spin) std::this_thread::yield();
    {
      InputGuard held(inputLock);
      buffer.TakeBackFromHandler(held);
      if (round % 2) {
        // A second handler, on this thread, reads everything: the delivery then consumes more
        // than the first reader may still be reading.
        buffer.LendToHandler(held);
        uint8_t byte;
        while (buffer.ReadLocked(held, byte) == 0)
          while (buffer.TryLeasedRead(byte)) {
          }
        buffer.TakeBackFromHandler(held);
      }
      buffer.EndDelivery(held, true);
    }
  }
  stop = true;
  reader.join();
  EXPECT_EQ(wrong.load(), 0u);
  EXPECT_GT(leasedReads.load(), 0u) << "the reader read under a lease at least once";
}

}  // namespace
