// The dispatcher's output side: queueing bytes into the output ring, the pending and free
// counts, discarding queued output, and the ring arithmetic the output thread writes with
// (NextOutputBlock, RetireOutput).
#include <algorithm>

#include "serial/AwUser.h"

uint32_t TApdBaseDispatcher::OutputRingCount(const OutputGuard&) const {
  if (OutFull) return OutQueueSize;
  if (OutHead >= OutTail) return OutHead - OutTail;
  return OutQueueSize + OutHead - OutTail;
}

void TApdBaseDispatcher::CopyIntoOutputRing(const OutputGuard&, const uint8_t* Data, uint32_t Count) {
  if (!OutRing.Allocated() || OutQueueSize == 0 || Count == 0) return;
  OutHead = OutRing.CopyIn(OutHead, Data, Count);
}

void TApdBaseDispatcher::ClearOutputRing(const OutputGuard&) {
  OutFull = false;
  OutHead = OutTail = 0;
  ++PurgeGeneration;
}

// Output thread.
bool TApdBaseDispatcher::NextOutputBlock(uint32_t& Offset, uint32_t& Length, uint64_t& Generation) {
  OutputGuard output(OutputLock);
  if (!OutRing.Allocated() || OutQueueSize == 0 || (!OutFull && OutHead == OutTail)) return false;
  if (OutTail < OutHead) {
    Offset = OutTail;
    Length = OutHead - OutTail;
  } else if (OutHead > 0) {
    // Wrapped: bring the bytes from the tail to the end of the ring down to 0 and the wrapped
    // part after them.
    OutRing.RotateToFront(OutTail);
    OutHead += OutQueueSize - OutTail;
    OutTail = 0;
    if (OutHead == OutQueueSize) OutHead = 0;  // the ring is full: head and tail meet at 0
    Offset = 0;
    Length = OutFull ? OutQueueSize : OutHead;
  } else {
    Offset = OutTail;
    Length = OutQueueSize - OutTail;
  }
  Generation = PurgeGeneration;
  return true;
}

// Output thread.
void TApdBaseDispatcher::RetireOutput(uint32_t Written, uint64_t Generation) {
  OutputGuard output(OutputLock);
  if (Generation != PurgeGeneration || !OutRing.Allocated()) return;  // purged meanwhile
  if (Written == 0) return;
  OutTail += Written;
  if (OutTail >= OutQueueSize) OutTail -= OutQueueSize;
  if (OutTail == OutHead) OutHead = OutTail = 0;
  OutFull = false;
}

int TApdBaseDispatcher::OutputPending() {
  OutputGuard output(OutputLock);
  // The line errors are refreshed on the way; the count is the ring's, so the device is not
  // asked for its queues.
  LineErrorWord |= DeviceErrors(nullptr) & leAll;
  return static_cast<int>(OutputRingCount(output));
}

int TApdBaseDispatcher::OutputRoom() {
  OutputGuard output(OutputLock);
  return static_cast<int>(OutQueueSize) - OutputPending();
}

void TApdBaseDispatcher::DiscardOutput() { DevicePurge(TPurgeQueue::Output); }

int TApdBaseDispatcher::WriteBytes(const void* Data, uint32_t Length) {
  if (Length == 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(Data);
  bool wasEmpty;
  {
    OutputGuard output(OutputLock);
    if (!OutRing.Allocated()) return ecPutBlockFail;
    // Accumulate: bits not yet taken by TakeLineError must survive a write.
    LineErrorWord |= DeviceErrors(nullptr) & leAll;
    const uint32_t room = OutQueueSize - OutputRingCount(output);
    if (Length > room) return ecOutputBufferTooSmall;
    // A ring with bytes in it has an output thread writing them, which goes on until it is
    // empty: only a write into an empty ring wakes it.
    wasEmpty = room == OutQueueSize;
    if (DeviceWrite(output, bytes, Length) <= 0) {
      LineErrorWord |= DeviceErrors(nullptr) & leAll;
      return ecPutBlockFail;
    }
    // Head has come round to the tail: the ring is full, not empty.
    if (Length == room) OutFull = true;
    OutputSent = true;
  }
  if (wasEmpty) WakeOutputThread();
  if (Log.On() || TraceOn) {
    std::lock_guard state(StateLock);
    if (Log.On()) LogEntry(dtDispatch, dstWriteCom, static_cast<int32_t>(Length), Length, bytes);
    if (TraceOn)
      for (uint32_t i = 0; i < Length; ++i) AddTraceEntry(TTraceKind::Transmit, bytes[i]);
  }
  return 0;
}
