// DispatchBuffer: the dispatcher's 8192-byte ring of received bytes, its read position, and the
// read-ahead of a data-available (or data) delivery.
//
// Positions are byte counts since the open (the ring offset is the count mod 8192): Filled moves
// on as the dispatch thread stores bytes, Taken as bytes are consumed. Both, the read-ahead
// counts of the locked path and the reservations below are guarded by InputLock, which every
// caller holds (the InputGuard parameter).
//
// Read lease (the hand-off that lets a handler read announced bytes without a lock per byte).
// Before each handler of a delivery the dispatch thread grants a lease on the bytes waiting:
// start = Taken, limit = the waiting count. The first read on some thread claims it (one
// compare-exchange); from then on that thread reads ahead with a load of the lease word, a load
// and a store of its count and a load of the byte. The bytes under a lease are never written:
// the only writer is the dispatch thread, it stores only into free space, and bytes become free
// only when consumed, which happens after the handler (DeliverTrigger, step 7).
//   When the handler has returned (or the dispatch thread gave up waiting for it) the lease is
// revoked: its word becomes Revoked and the count read then, k, is what the handler consumed.
// A handler abandoned after the time-out may still be inside a read: it can only be reading
// position start + c with c >= k, so the dispatch thread reserves everything from start + k:
// no fill writes there until the reader has acknowledged the revocation, which it does (one
// compare-exchange) at its next input call on this buffer. Two lease slots alternate, so a
// lease awaiting its acknowledgement does not hold up the next delivery; when both are taken,
// that delivery's handlers read through the locked path (InAvailDelivery, PeekCount), as do
// threads other than the one that claimed the lease. The ring's storage outlives a release
// while a lease may still be read (it goes with the object).
//
// The protocol is model-checked in tests/serial/model/read_lease.pml and exercised under
// ThreadSanitizer by tests/serial/ReadLeaseTest.cpp.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/ByteRing.h"

// Size of the dispatch buffer (a ring of received bytes).
inline constexpr uint32_t DispatchBufferSize = 8192;

// Proof that the caller holds the dispatcher's InputLock.
using InputGuard = std::lock_guard<std::recursive_mutex>;

class DispatchBuffer {
public:
  DispatchBuffer() = default;
  DispatchBuffer(const DispatchBuffer&) = delete;
  DispatchBuffer& operator=(const DispatchBuffer&) = delete;

  // --- Lifetime (user-interface thread, InputLock) ---
  void Open(const InputGuard&);
  // Empties the buffer and makes it unusable; the storage stays while a lease may be read.
  void Release(const InputGuard&);
  bool IsOpen(const InputGuard&) const { return Active; }

  // --- Counts (InputLock) ---
  uint64_t FilledCount(const InputGuard&) const { return Filled; }
  uint32_t Waiting(const InputGuard&) const { return static_cast<uint32_t>(Filled - Taken); }
  bool Full(const InputGuard& g) const { return Waiting(g) == DispatchBufferSize; }
  uint8_t ByteAt(const InputGuard&, uint64_t Position) const { return Ring.At(Offset(Position)); }

  // --- Filling (dispatch thread, InputLock) ---
  // The free space the next fill may use, and where it starts: Contiguous bytes at Into, of
  // Total free bytes in all (the rest from offset 0). Reservations count as taken.
  void FreeSpace(const InputGuard&, uint8_t*& Into, uint32_t& Contiguous, uint32_t& Total) const;
  void CommitFill(const InputGuard&, uint32_t Count) { Filled += Count; }

  // --- Reading (the handler's or user-interface thread) ---
  // The lock-free read ahead under this thread's claimed lease; false when the thread holds no
  // current lease or has read all it covers (the caller then takes the locked path).
  bool TryLeasedRead(uint8_t& Byte) {
    const Claim& claim = ThisThreadClaim();
    if (claim.Buffer != this) return false;
    Slot& slot = Slots[GenerationOf(claim.Word) & 1];
    if (slot.Word.load(std::memory_order_acquire) != claim.Word) return false;  // revoked
    const uint32_t count = slot.Count.load(std::memory_order_relaxed);
    if (count >= slot.Limit) return false;
    Byte = Ring.At(Offset(slot.Start + count));
    slot.Count.store(count + 1, std::memory_order_release);
    return true;
  }
  // What TryLeasedRead could not do. 0, or −3007 when nothing is left to read.
  int ReadLocked(const InputGuard&, uint8_t& Byte);
  // Count bytes in one piece, all or nothing: Count, or −3005 when fewer are there to read.
  int ReadBlock(const InputGuard&, uint8_t* Out, uint32_t Count);
  // 0, or −3007 when fewer than N bytes wait (N counts from 1 at the read position).
  int Peek(const InputGuard&, uint8_t& Byte, uint32_t N) const;
  // Bytes waiting, less what the calling thread has read ahead in the running delivery.
  uint32_t WaitingForReader(const InputGuard&);
  // The receiver's discard: everything waiting now goes, at once or (inside a delivery) once
  // it ends; the announced bytes stay readable until then.
  void Discard(const InputGuard&);

  // --- Deliveries (dispatch thread, InputLock) ---
  // Starts an avail or data delivery (reads from here on peek ahead).
  void BeginDelivery(const InputGuard&);
  bool InDelivery(const InputGuard&) const { return InAvailDelivery; }
  // Before and after each handler: lends the waiting bytes to it, then takes them back and
  // returns how many the handler read (its discard counts as reading all).
  void LendToHandler(const InputGuard&);
  uint32_t TakeBackFromHandler(const InputGuard&);
  // Ends the delivery: the most any handler read is consumed (nothing when Consume is false).
  void EndDelivery(const InputGuard&, bool Consume);
  uint32_t MostRead(const InputGuard&) const { return PeekMax; }
  // Bytes from the read position through Position, less the locked path's read-ahead.
  uint32_t WaitingThrough(const InputGuard&, uint64_t Position) const;

private:
  enum LeaseState : uint64_t { Idle = 0, Granted = 1, Claimed = 2, Revoked = 3 };
  // A lease slot. Word: generation << 26 | claiming thread's token << 2 | state. Start and
  // Limit are written only while the slot is Idle (by the grant, under InputLock), so its claimer
  // reads them without the lock; Reserve is the dispatch thread's, under InputLock.
  struct Slot {
    std::atomic<uint64_t> Word{0};
    std::atomic<uint32_t> Count{0};  // bytes the claimer has read (only it writes)
    uint64_t Start = 0;              // Taken at the grant
    uint32_t Limit = 0;              // bytes waiting at the grant
    uint64_t Reserve = 0;            // while Revoked: no fill from this position on
  };

  static constexpr uint64_t Word(uint64_t Generation, uint64_t Token, LeaseState State) {
    return Generation << 26 | Token << 2 | State;
  }
  static constexpr LeaseState StateOf(uint64_t W) { return static_cast<LeaseState>(W & 3); }
  static constexpr uint64_t GenerationOf(uint64_t W) { return W >> 26; }
  static constexpr uint64_t TokenOf(uint64_t W) { return (W >> 2) & 0xFFFFFF; }
  static uint32_t Offset(uint64_t Position) { return static_cast<uint32_t>(Position % DispatchBufferSize); }
  // A small number of the calling thread's own (1 .. 2^24 - 1), for the lease word.
  static uint64_t ThreadToken() {
    thread_local uint64_t token = 0;
    if (token == 0) token = NewThreadToken();
    return token;
  }
  static uint64_t NewThreadToken();
  // The lease this thread claimed last: the buffer (only compared, never followed) and the
  // word it claimed it with. The word alone tells whether that claim still stands.
  struct Claim {
    const DispatchBuffer* Buffer = nullptr;
    uint64_t Word = 0;
  };
  static Claim& ThisThreadClaim() {
    thread_local Claim claim;
    return claim;
  }

  // The calling thread acknowledges revoked leases it had claimed.
  void AcknowledgeRevoked();
  // The current lease, if this thread holds it or can claim it now; else null.
  Slot* ClaimCurrent();
  int ReadLeased(Slot& S, uint8_t& Byte);

  ByteRing Ring;                   // the bytes (allocated at the open, freed with the object)
  bool Active = false;             // between Open and Release (InputLock)
  uint64_t Filled = 0;             // bytes stored since the open (InputLock)
  uint64_t Taken = 0;              // bytes consumed since the open (InputLock)
  bool InAvailDelivery = false;    // reads peek ahead (InputLock)
  uint32_t PeekCount = 0;          // locked-path read-ahead of the current handler (InputLock)
  uint32_t PeekMax = 0;            // most any handler read in this delivery (InputLock)
  std::array<Slot, 2> Slots;       // lease slots, by generation parity
  uint64_t LastGeneration = 0;     // of the last grant (dispatch thread, InputLock)
  std::atomic<uint64_t> CurrentGeneration{0};  // the lease of the running handler, 0 none
};
