// OutputRing: queueing, purging, and the block arithmetic of the output thread.
#include "serial/AwUserOutputRing.h"

void OutputRing::Allocate(const OutputGuard&, uint32_t Size) {
  Ring.Allocate(Size);
  Head = Tail = 0;
  Full = false;
}

void OutputRing::Free(const OutputGuard& Held) { Allocate(Held, 0); }

uint32_t OutputRing::Count(const OutputGuard&) const {
  if (Full) return Ring.Size();
  if (Head >= Tail) return Head - Tail;
  return Ring.Size() + Head - Tail;
}

void OutputRing::Append(const OutputGuard& Held, const uint8_t* Data, uint32_t Count_) {
  if (!Ring.Allocated() || Count_ == 0) return;
  const bool fills = Count(Held) + Count_ == Ring.Size();
  Head = Ring.CopyIn(Head, Data, Count_);
  if (fills) Full = true;
}

void OutputRing::Clear(const OutputGuard&) {
  Full = false;
  Head = Tail = 0;
  ++PurgeGeneration;
}

bool OutputRing::NextBlock(const OutputGuard&, uint32_t& Offset, uint32_t& Length, uint64_t& Generation) {
  const uint32_t size = Ring.Size();
  if (!Ring.Allocated() || (!Full && Head == Tail)) return false;
  if (Tail < Head) {
    Offset = Tail;
    Length = Head - Tail;
  } else if (Head > 0) {
    // Wrapped: bring the bytes from the tail to the end of the ring down to 0 and the wrapped
    // part after them.
    Ring.RotateToFront(Tail);
    Head += size - Tail;
    Tail = 0;
    if (Head == size) Head = 0;  // the ring is full: head and tail meet at 0
    Offset = 0;
    Length = Full ? size : Head;
  } else {
    Offset = Tail;
    Length = size - Tail;
  }
  Generation = PurgeGeneration;
  return true;
}

void OutputRing::Retire(const OutputGuard&, uint32_t Written, uint64_t Generation) {
  if (Generation != PurgeGeneration || !Ring.Allocated() || Written == 0) return;  // purged meanwhile
  Tail += Written;
  if (Tail >= Ring.Size()) Tail -= Ring.Size();
  if (Tail == Head) Head = Tail = 0;
  Full = false;
}
