// OutputRing: the dispatcher's output queue, a ring of the output queue's size holding the bytes
// queued by WriteBytes until the output thread has written them. Its user holds OutputLock for
// every call (the OutputGuard parameter); the output thread writes a block it was given out of
// the lock, which stays put because bytes are only added in the free part and a purge first
// waits for the output thread.
#pragma once
#include <cstdint>
#include <mutex>

#include "serial/ByteRing.h"

// Proof that the caller holds the dispatcher's OutputLock.
using OutputGuard = std::lock_guard<std::recursive_mutex>;

class OutputRing {
public:
  void Allocate(const OutputGuard&, uint32_t Size);
  void Free(const OutputGuard&);
  bool Allocated() const { return Ring.Allocated(); }
  uint32_t Size() const { return Ring.Size(); }

  // Bytes queued and not yet written.
  uint32_t Count(const OutputGuard&) const;
  // Queues Count bytes (the room has been checked); a ring filled to the last byte is full,
  // not empty.
  void Append(const OutputGuard&, const uint8_t* Data, uint32_t Count);
  // Empties the ring (a purge): a write in flight then retires nothing.
  void Clear(const OutputGuard&);
  // The next block to write, made contiguous when it wraps so all pending bytes go out in one
  // write; false when the ring is empty. Then the first Written bytes of that block have left
  // (nothing when the ring was purged meanwhile).
  bool NextBlock(const OutputGuard&, uint32_t& Offset, uint32_t& Length, uint64_t& Generation);
  void Retire(const OutputGuard&, uint32_t Written, uint64_t Generation);
  const uint8_t* Bytes(uint32_t Offset) const { return Ring.Data() + Offset; }

private:
  ByteRing Ring;
  uint32_t Head = 0;             // next position to write into
  uint32_t Tail = 0;             // next position to send
  bool Full = false;             // Head == Tail because the ring is full
  uint64_t PurgeGeneration = 0;  // counts purges
};
