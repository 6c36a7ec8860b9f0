// ByteRing: allocation and the wrapping copies.
#include "serial/ByteRing.h"

#include <algorithm>
#include <cstring>

void ByteRing::Allocate(uint32_t Size) {
  Bytes = Size ? std::make_unique<uint8_t[]>(Size) : nullptr;
  RingSize = Size;
}

uint32_t ByteRing::CopyIn(uint32_t Position, const uint8_t* Data, uint32_t Count) {
  if (!Bytes || Count == 0) return Position;
  const uint32_t first = std::min(Count, ToEnd(Position));
  std::memcpy(Bytes.get() + Position, Data, first);
  std::memcpy(Bytes.get(), Data + first, Count - first);
  return Advance(Position, Count);
}

void ByteRing::CopyOut(uint32_t Position, uint8_t* Out, uint32_t Count) const {
  if (!Bytes || Count == 0) return;
  const uint32_t first = std::min(Count, ToEnd(Position));
  std::memcpy(Out, Bytes.get() + Position, first);
  std::memcpy(Out + first, Bytes.get(), Count - first);
}

void ByteRing::RotateToFront(uint32_t Position) {
  if (Bytes && Position < RingSize) std::rotate(Bytes.get(), Bytes.get() + Position, Bytes.get() + RingSize);
}
