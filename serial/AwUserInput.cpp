// The dispatcher's input side: filling the dispatch buffer from the device, and reading,
// peeking and discarding received bytes. Inside an avail or data delivery a read only peeks
// ahead; the bytes are consumed when the delivery ends (see DeliverTrigger). The buffer and
// its read lease are DispatchBuffer's (AwUserBuffer.h).
#include <algorithm>

#include "serial/AwUser.h"

void TApdBaseDispatcher::TraceReceived(const uint8_t* Bytes, uint32_t Count) {
  if (!Trace.On()) return;
  // Order: InputLock (callers may hold it), StateLock.
  StateGuard state(StateLock);
  for (uint32_t i = 0; i < Count; ++i) Trace.Add(state, TTraceKind::Receive, Bytes[i]);
}

int TApdBaseDispatcher::ReadByteLocked(uint8_t& Byte) {
  int result;
  {
    InputGuard input(InputLock);
    result = Input.ReadLocked(input, Byte);
  }
  if (result == 0) TraceReceived(&Byte, 1);
  return result;
}

int TApdBaseDispatcher::GetBlock(uint8_t* Buffer, uint32_t Count) {
  int result;
  {
    InputGuard input(InputLock);
    result = Input.ReadBlock(input, Buffer, Count);
  }
  if (result > 0) TraceReceived(Buffer, static_cast<uint32_t>(result));
  return result;
}

int TApdBaseDispatcher::PeekByte(uint8_t& Byte, uint32_t N) {
  InputGuard input(InputLock);
  return Input.Peek(input, Byte, N);
}

int TApdBaseDispatcher::BytesWaiting() {
  InputGuard input(InputLock);
  return static_cast<int>(Input.WaitingForReader(input));
}

int TApdBaseDispatcher::DiscardInput() {
  InputGuard input(InputLock);
  const int result = DevicePurge(TPurgeQueue::Input);
  Input.Discard(input);
  {
    // Order: InputLock, StateLock.
    std::lock_guard state(StateLock);
    for (TDataTrigger& trigger : DataTriggers) trigger.Cursors.fill(0);
  }
  return result;
}

// Dispatch thread, InputLock held. One read of what has arrived into the buffer at Into.
uint32_t TApdBaseDispatcher::ReadArrived(const InputGuard& Held, uint8_t* Into, uint32_t Count,
                                         TArrivedInput& Status) {
  TArrivedInput status;
  int got = DeviceRead(Into, Count, status);
  if (got < 0) {
    got = 0;
    status = TArrivedInput{};
  }
  const uint32_t bytes = std::min(static_cast<uint32_t>(got), Count);
  Input.CommitFill(Held, bytes);
  LineErrorWord |= status.Errors & leAll;
  Status.Left = status.Left;
  if (bytes && Log.On()) LogEntry(dtDispatch, dstReadCom, static_cast<int32_t>(bytes), bytes, Into);
  return bytes;
}

// Runs on the dispatch thread. The read itself tells what stayed in the driver and the line
// errors met, so a pass asks the device nothing else.
bool TApdBaseDispatcher::FillDispatchBuffer() {
  InputGuard input(InputLock);
  if (!Input.IsOpen(input)) return false;
  uint8_t* into;
  uint32_t contiguous, total;
  Input.FreeSpace(input, into, contiguous, total);
  InputBlocked = total == 0;
  if (InputBlocked) return true;

  TArrivedInput status;
  const uint32_t first = ReadArrived(input, into, contiguous, status);
  // The first chunk ran up to the end of the ring and the driver holds more: the rest of the
  // free space starts at offset 0.
  if (first == contiguous && status.Left > 0 && total > contiguous) {
    Input.FreeSpace(input, into, contiguous, total);
    ReadArrived(input, into, contiguous, status);
  }
  // Bytes the driver holds and this pass did not take raise no new device event.
  DriverInputLeft = status.Left > 0;
  return true;
}
