// The dispatcher's output side: queueing bytes into the output ring, the pending and free
// counts, discarding queued output, and the output thread's access to the ring (NextOutputBlock,
// RetireOutput); the ring itself is OutputRing's.
#include <algorithm>

#include "serial/AwUser.h"

uint32_t TApdBaseDispatcher::OutputRingCount(const OutputGuard& Held) const { return OutRing.Count(Held); }

void TApdBaseDispatcher::CopyIntoOutputRing(const OutputGuard& Held, const uint8_t* Data, uint32_t Count) {
  OutRing.Append(Held, Data, Count);
}

void TApdBaseDispatcher::ClearOutputRing(const OutputGuard& Held) { OutRing.Clear(Held); }

// Output thread.
bool TApdBaseDispatcher::NextOutputBlock(uint32_t& Offset, uint32_t& Length, uint64_t& Generation) {
  OutputGuard output(OutputLock);
  return OutRing.NextBlock(output, Offset, Length, Generation);
}

// Output thread.
void TApdBaseDispatcher::RetireOutput(uint32_t Written, uint64_t Generation) {
  OutputGuard output(OutputLock);
  OutRing.Retire(output, Written, Generation);
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
    OutputSent = true;
  }
  if (wasEmpty) WakeOutputThread();
  if (Log.On() || Trace.On()) {
    StateGuard state(StateLock);
    if (Log.On()) LogEntry(dtDispatch, dstWriteCom, static_cast<int32_t>(Length), Length, bytes);
    for (uint32_t i = 0; Trace.On() && i < Length; ++i) Trace.Add(state, TTraceKind::Transmit, bytes[i]);
  }
  return 0;
}
