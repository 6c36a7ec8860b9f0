// DispatchBuffer: the locked paths of reading, the deliveries' read-ahead and the read lease
// (protocol in AwUserBuffer.h).
#include "serial/AwUserBuffer.h"

#include <algorithm>

#include "serial/AdExcept.h"

uint64_t DispatchBuffer::NewThreadToken() {
  static std::atomic<uint64_t> next{0};
  // 0 is nobody's; after 2^24 - 1 threads the numbers come round again (a clash needs two
  // threads alive with the same number reading the same port in the same delivery).
  uint64_t token;
  do token = next.fetch_add(1, std::memory_order_relaxed) & 0xFFFFFF;
  while (token == 0);
  return token;
}

void DispatchBuffer::Open(const InputGuard&) {
  if (!Ring.Allocated()) Ring.Allocate(DispatchBufferSize);
  Active = true;
  Filled = Taken = 0;
  InAvailDelivery = false;
  PeekCount = PeekMax = 0;
}

void DispatchBuffer::Release(const InputGuard&) {
  Active = false;
  Filled = Taken = 0;
  InAvailDelivery = false;
  PeekCount = PeekMax = 0;
  CurrentGeneration.store(0, std::memory_order_release);
}

void DispatchBuffer::FreeSpace(const InputGuard&, uint8_t*& Into, uint32_t& Contiguous, uint32_t& Total) const {
  Into = nullptr;
  Contiguous = Total = 0;
  if (!Active) return;
  // A revoked lease whose reader has not acknowledged it holds back its unread bytes.
  uint64_t floor = Taken;
  for (const Slot& slot : Slots)
    if (StateOf(slot.Word.load(std::memory_order_acquire)) == Revoked) floor = std::min(floor, slot.Reserve);
  Total = static_cast<uint32_t>(floor + DispatchBufferSize - Filled);
  Into = Ring.Data() ? const_cast<uint8_t*>(Ring.Data()) + Offset(Filled) : nullptr;
  Contiguous = std::min(Total, Ring.ToEnd(Offset(Filled)));
}

void DispatchBuffer::AcknowledgeRevoked() {
  const uint64_t token = ThreadToken();
  for (Slot& slot : Slots) {
    uint64_t word = slot.Word.load(std::memory_order_acquire);
    if (StateOf(word) == Revoked && TokenOf(word) == token)
      // Release: this thread's reads of the slot's bytes come before any fill over them.
      slot.Word.compare_exchange_strong(word, Word(GenerationOf(word), 0, Idle), std::memory_order_acq_rel);
  }
}

DispatchBuffer::Slot* DispatchBuffer::ClaimCurrent() {
  const uint64_t generation = CurrentGeneration.load(std::memory_order_acquire);
  if (generation == 0) return nullptr;
  Slot& slot = Slots[generation & 1];
  const uint64_t mine = Word(generation, ThreadToken(), Claimed);
  uint64_t word = slot.Word.load(std::memory_order_acquire);
  if (word != mine && (word != Word(generation, 0, Granted) ||
                       !slot.Word.compare_exchange_strong(word, mine, std::memory_order_acq_rel)))
    return nullptr;  // claimed by another thread, or already taken back
  ThisThreadClaim() = Claim{this, mine};
  return &slot;  // claimed by another thread, or already taken back
}

int DispatchBuffer::ReadLeased(Slot& S, uint8_t& Byte) {
  const uint32_t count = S.Count.load(std::memory_order_relaxed);
  if (count >= S.Limit) return ecBufferIsEmpty;
  Byte = Ring.At(Offset(S.Start + count));
  S.Count.store(count + 1, std::memory_order_release);
  return 0;
}

int DispatchBuffer::ReadLocked(const InputGuard& Held, uint8_t& Byte) {
  AcknowledgeRevoked();
  if (Slot* slot = ClaimCurrent()) return ReadLeased(*slot, Byte);
  if (!Active) return ecBufferIsEmpty;
  if (InAvailDelivery) {
    if (PeekCount >= Waiting(Held)) return ecBufferIsEmpty;  // the peek count stays
    Byte = Ring.At(Offset(Taken + PeekCount));
    ++PeekCount;
    return 0;
  }
  if (Waiting(Held) == 0) return ecBufferIsEmpty;
  Byte = Ring.At(Offset(Taken));
  ++Taken;
  return 0;
}

int DispatchBuffer::ReadBlock(const InputGuard& Held, uint8_t* Out, uint32_t Count) {
  AcknowledgeRevoked();
  if (Count == 0) return 0;
  if (Slot* slot = ClaimCurrent()) {
    const uint32_t count = slot->Count.load(std::memory_order_relaxed);
    if (slot->Limit - count < Count) return ecGetBlockFail;
    Ring.CopyOut(Offset(slot->Start + count), Out, Count);
    slot->Count.store(count + Count, std::memory_order_release);
    return static_cast<int>(Count);
  }
  if (!Active) return ecGetBlockFail;
  const uint32_t ahead = InAvailDelivery ? PeekCount : 0;
  if (Waiting(Held) - ahead < Count) return ecGetBlockFail;
  Ring.CopyOut(Offset(Taken + ahead), Out, Count);
  if (InAvailDelivery)
    PeekCount += Count;
  else
    Taken += Count;
  return static_cast<int>(Count);
}

int DispatchBuffer::Peek(const InputGuard& Held, uint8_t& Byte, uint32_t N) const {
  if (!Active || N == 0 || Waiting(Held) < N) return ecBufferIsEmpty;
  Byte = Ring.At(Offset(Taken + N - 1));
  return 0;
}

uint32_t DispatchBuffer::WaitingForReader(const InputGuard& Held) {
  AcknowledgeRevoked();
  const uint32_t waiting = Waiting(Held);
  if (!InAvailDelivery) return waiting;
  uint32_t ahead = PeekCount;
  const uint64_t generation = CurrentGeneration.load(std::memory_order_acquire);
  if (generation != 0) {
    const Slot& slot = Slots[generation & 1];
    if (StateOf(slot.Word.load(std::memory_order_acquire)) == Claimed)
      ahead = slot.Count.load(std::memory_order_acquire);
  }
  return waiting - std::min(waiting, ahead);
}

void DispatchBuffer::Discard(const InputGuard& Held) {
  AcknowledgeRevoked();
  if (InAvailDelivery) {
    // Everything waiting now is consumed when the delivery ends; the full state goes then too.
    PeekMax = Waiting(Held);
  } else {
    Taken = Filled;
    PeekCount = 0;
  }
}

void DispatchBuffer::BeginDelivery(const InputGuard&) {
  PeekMax = 0;
  InAvailDelivery = true;
}

void DispatchBuffer::LendToHandler(const InputGuard& Held) {
  PeekCount = 0;
  if (!Active || !InAvailDelivery) return;
  const uint64_t generation = ++LastGeneration;
  Slot& slot = Slots[generation & 1];
  // A slot whose last lease is not acknowledged yet stays with its reader: this handler reads
  // through the locked path.
  if (StateOf(slot.Word.load(std::memory_order_acquire)) != Idle) return;
  slot.Start = Taken;
  slot.Limit = Waiting(Held);
  slot.Count.store(0, std::memory_order_relaxed);
  slot.Word.store(Word(generation, 0, Granted), std::memory_order_release);
  CurrentGeneration.store(generation, std::memory_order_release);
}

uint32_t DispatchBuffer::TakeBackFromHandler(const InputGuard&) {
  uint32_t read = PeekCount;
  const uint64_t generation = CurrentGeneration.exchange(0, std::memory_order_acq_rel);
  if (generation != 0) {
    Slot& slot = Slots[generation & 1];
    uint64_t word = Word(generation, 0, Granted);
    if (!slot.Word.compare_exchange_strong(word, Word(generation, 0, Idle), std::memory_order_acq_rel)) {
      // Claimed: revoke. The reader may still be inside a read (a handler abandoned after the
      // time-out); what it can still read is reserved until it acknowledges.
      slot.Word.store(Word(generation, TokenOf(word), Revoked), std::memory_order_seq_cst);
      const uint32_t count = slot.Count.load(std::memory_order_acquire);
      slot.Reserve = slot.Start + count;
      read = std::max(read, count);
    }
  }
  PeekMax = std::max(PeekMax, read);
  return read;
}

void DispatchBuffer::EndDelivery(const InputGuard& Held, bool Consume) {
  if (CurrentGeneration.load(std::memory_order_acquire) != 0) TakeBackFromHandler(Held);
  if (Consume) Taken += std::min(PeekMax, Waiting(Held));
  InAvailDelivery = false;
  PeekCount = 0;
  PeekMax = 0;
}

uint32_t DispatchBuffer::WaitingThrough(const InputGuard&, uint64_t Position) const {
  uint32_t through = static_cast<uint32_t>(Position - Taken + 1);
  if (InAvailDelivery) through -= std::min(through, PeekCount);
  return through;
}
