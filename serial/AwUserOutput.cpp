// The dispatcher's output side: queueing bytes into the output ring, the pending and free
// counts, and discarding queued output. The output thread of the concrete dispatcher takes
// the bytes from the ring and writes them to the device.
#include <algorithm>
#include <cstring>

#include "serial/AwUser.h"

uint32_t TApdBaseDispatcher::OutputRingCount() const {
  if (OutFull) return OutQueueSize;
  if (OutHead >= OutTail) return OutHead - OutTail;
  return OutQueueSize + OutHead - OutTail;
}

void TApdBaseDispatcher::CopyIntoOutputRing(const uint8_t* Data, uint32_t Count) {
  if (!OutBuff || OutQueueSize == 0 || Count == 0) return;
  const uint32_t first = std::min(Count, OutQueueSize - OutHead);
  std::memcpy(OutBuff.get() + OutHead, Data, first);
  std::memcpy(OutBuff.get(), Data + first, Count - first);
  OutHead = (OutHead + Count) % OutQueueSize;
}

int TApdBaseDispatcher::OutputPending() {
  std::lock_guard output(OutputLock);
  COMSTAT status{};
  LineErrorWord |= DeviceErrors(status) & 0x1F;
  ComStatus = status;
  return static_cast<int>(status.cbOutQue);
}

int TApdBaseDispatcher::OutputRoom() {
  std::lock_guard output(OutputLock);
  return static_cast<int>(OutQueueSize) - OutputPending();
}

void TApdBaseDispatcher::DiscardOutput() { DevicePurge(0); }

int TApdBaseDispatcher::WriteBytes(const void* Data, uint32_t Length) {
  if (Length == 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(Data);
  {
    std::lock_guard output(OutputLock);
    if (!OutBuff) return ecPutBlockFail;
    COMSTAT status{};
    // Accumulate: bits not yet taken by TakeLineError must survive a write.
    LineErrorWord |= DeviceErrors(status) & 0x1F;
    ComStatus = status;
    const int room = OutputRoom();
    if (room < 0 || Length > static_cast<uint32_t>(room)) return ecOutputBufferTooSmall;
    bool rs485Manual;
    {
      // Order: OutputLock, StateLock.
      std::lock_guard state(StateLock);
      rs485Manual = RS485Mode && !HasAutoRTSControl();
      if (rs485Manual && BaseAddress == 0) return ecBaseAddressNotSet;
    }
    if (rs485Manual) DriveRTS(true);  // Order: OutputLock, StateLock.
    if (DeviceWrite(bytes, Length) <= 0) {
      LineErrorWord |= DeviceErrors(status) & 0x1F;
      ComStatus = status;
      return ecPutBlockFail;
    }
    // Head has come round to the tail: the ring is full, not empty.
    if (Length == static_cast<uint32_t>(room)) OutFull = true;
    OutputSent = true;
  }
  if (LogOn || TraceOn) {
    std::lock_guard state(StateLock);
    if (LogOn) LogEntry(dtDispatch, dstWriteCom, static_cast<int32_t>(Length), Length, bytes);
    if (TraceOn)
      for (uint32_t i = 0; i < Length; ++i) AddTraceEntry('T', bytes[i]);
  }
  return 0;
}
