// The dispatcher's input side: filling the dispatch buffer from the device, and reading,
// peeking and discarding received bytes. Inside an avail or data delivery a read only peeks
// ahead; the bytes are consumed when the delivery ends (see DeliverTrigger).
#include <algorithm>

#include "serial/AwUser.h"

uint32_t TApdBaseDispatcher::RawBytesWaiting() const {
  if (DBuffFull) return DispatchBufferSize;
  return (DBuffHead + DispatchBufferSize - DBuffTail) % DispatchBufferSize;
}

// InputLock held.
int TApdBaseDispatcher::PeekLocked(uint8_t& Byte, uint32_t N) const {
  if (!DBuff || N == 0 || RawBytesWaiting() < N) return ecBufferIsEmpty;
  Byte = DBuff[(DBuffTail + N - 1) % DispatchBufferSize];
  return 0;
}

int TApdBaseDispatcher::PeekByte(uint8_t& Byte, uint32_t N) {
  std::lock_guard input(InputLock);
  return PeekLocked(Byte, N);
}

int TApdBaseDispatcher::ReadByte(uint8_t& Byte) {
  std::lock_guard input(InputLock);
  int result;
  if (InAvailDelivery) {
    ++PeekCount;
    result = PeekLocked(Byte, PeekCount);
    if (result < 0) --PeekCount;
  } else {
    result = PeekLocked(Byte, 1);
    if (result == 0) {
      DBuffTail = (DBuffTail + 1) % DispatchBufferSize;
      DBuffFull = false;
    }
  }
  if (result == 0 && TraceOn) {
    // Order: InputLock, StateLock.
    std::lock_guard state(StateLock);
    if (TraceOn) AddTraceEntry('R', Byte);
  }
  return result;
}

int TApdBaseDispatcher::BytesWaiting() {
  std::lock_guard input(InputLock);
  uint32_t waiting = RawBytesWaiting();
  if (InAvailDelivery) waiting -= std::min(waiting, PeekCount);
  return static_cast<int>(waiting);
}

int TApdBaseDispatcher::DiscardInput() {
  std::lock_guard input(InputLock);
  const int result = DevicePurge(1);
  if (InAvailDelivery) {
    // The bytes announced to the running delivery stay readable until it ends; then every
    // byte waiting now is consumed. The full flag goes when the delivery consumes them.
    PeekMax = RawBytesWaiting();
  } else {
    DBuffTail = DBuffHead;
    PeekCount = 0;
    DBuffFull = false;
  }
  {
    // Order: InputLock, StateLock.
    std::lock_guard state(StateLock);
    for (TDataTrigger& trigger : DataTriggers) trigger.Cursors.fill(0);
  }
  return result;
}

// Runs on the dispatch thread.
bool TApdBaseDispatcher::FillDispatchBuffer() {
  std::lock_guard input(InputLock);
  if (!DBuff) return false;
  if (DBuffFull) return true;
  // Order: InputLock, then OutputLock for the device status and StateLock for the log.
  RefreshLineErrors();
  uint32_t driverBytes;
  {
    // Order: InputLock, OutputLock.
    std::lock_guard output(OutputLock);
    driverBytes = ComStatus.cbInQue;
  }
  DriverInputLeft = false;
  if (driverBytes == 0) return false;

  const bool empty = DBuffHead == DBuffTail;
  const uint32_t freeBytes =
      empty ? DispatchBufferSize : (DBuffTail + DispatchBufferSize - DBuffHead) % DispatchBufferSize;
  const uint32_t firstChunk =
      DBuffTail > DBuffHead ? DBuffTail - DBuffHead : DispatchBufferSize - DBuffHead;
  const uint32_t take = std::min(freeBytes, driverBytes);
  uint32_t first = std::min(firstChunk, take);
  uint32_t second = take - first;

  auto readInto = [this](uint32_t count) -> uint32_t {
    int got = DeviceRead(DBuff.get() + DBuffHead, count);
    if (got < 0) {
      DeviceErrorHook(-1);
      got = 0;
    }
    const uint32_t bytes = std::min(static_cast<uint32_t>(got), count);
    DBuffFilled += bytes;
    if (bytes && LogOn) LogEntry(dtDispatch, dstReadCom, bytes, bytes, DBuff.get() + DBuffHead);
    return bytes;
  };

  uint32_t taken = 0;
  if (first) {
    const uint32_t got = readInto(first);
    taken += got;
    DBuffHead += got;
    if (got < first) second = 0;
    if (DBuffHead == DispatchBufferSize) DBuffHead = 0;
    if (got) DBuffFull = DBuffHead == DBuffTail;
  }
  if (second) {
    const uint32_t got = readInto(second);
    taken += got;
    DBuffHead = (DBuffHead + got) % DispatchBufferSize;
    if (got) DBuffFull = DBuffHead == DBuffTail;
  }
  // Bytes the driver reported and this pass did not take raise no new device event.
  DriverInputLeft = taken < driverBytes;
  return true;
}
