// ByteRing: the fixed-size byte storage under the dispatcher's rings (the dispatch buffer of
// received bytes, the output ring, the byte trace and the dispatch log). It holds the bytes and
// does the wrap-round arithmetic; the positions (head, tail, full flags) and the lock that
// guards them belong to the ring's user. Positions are offsets in 0 .. Size() - 1.
#pragma once
#include <cstdint>
#include <memory>

class ByteRing {
public:
  // Allocates Size bytes, zero-filled, replacing any earlier storage (Size 0 frees it).
  void Allocate(uint32_t Size);
  void Free() { Allocate(0); }
  bool Allocated() const { return Bytes != nullptr; }
  uint32_t Size() const { return RingSize; }
  uint8_t* Data() { return Bytes.get(); }
  const uint8_t* Data() const { return Bytes.get(); }

  uint8_t At(uint32_t Position) const { return Bytes[Position]; }
  // Position moved on by Count (at most Size), wrapping at the end.
  uint32_t Advance(uint32_t Position, uint32_t Count) const {
    const uint32_t moved = Position + Count;
    return moved >= RingSize ? moved - RingSize : moved;
  }
  // Contiguous bytes from Position to the end of the storage.
  uint32_t ToEnd(uint32_t Position) const { return RingSize - Position; }
  // Copies Count bytes in at Position (in two pieces when they pass the end); the position
  // after them.
  uint32_t CopyIn(uint32_t Position, const uint8_t* Data, uint32_t Count);
  // Copies Count bytes out from Position, wrapping.
  void CopyOut(uint32_t Position, uint8_t* Out, uint32_t Count) const;
  // Makes the bytes from Position to the end come first, followed by those before it: the
  // bytes of a ring that wrapped at Position become contiguous from 0.
  void RotateToFront(uint32_t Position);

private:
  std::unique_ptr<uint8_t[]> Bytes;
  uint32_t RingSize = 0;
};
