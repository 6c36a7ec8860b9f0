// The dispatcher's two recorders: ByteTrace, the ring of (kind, byte) pairs with its dump, and
// the trace and dispatch-log operations of the dispatcher, which run ByteTrace and DispatchLog
// under StateLock.
#include <span>

#include "serial/AwUser.h"
#include "serial/AwUserDumpFile.h"
#include "serial/AwUserDumpFormat.h"

int ByteTrace::Start(const StateGuard&, uint32_t Count) {
  if (Count > MaxTraceEntries) return ecBadArgument;
  if (!Ring.Allocated()) {
    Ring.Allocate(2 * Count + 2);
    Entries = Count;
  }
  Index = 0;
  Wrapped = false;
  Recording = true;
  return 0;
}

void ByteTrace::Add(const StateGuard&, TTraceKind Kind, uint8_t Byte) {
  if (!Ring.Allocated() || Entries == 0) return;
  uint8_t* pair = Ring.Data() + 2 * Index;
  pair[0] = static_cast<uint8_t>(Kind);
  pair[1] = Byte;
  if (++Index >= Entries) {
    Index = 0;
    Wrapped = true;
  }
}

void ByteTrace::Clear(const StateGuard&) {
  Index = 0;
  Wrapped = false;
}

void ByteTrace::Stop(const StateGuard&) {
  Recording = false;
  Ring.Free();
  Entries = Index = 0;
  Wrapped = false;
}

int ByteTrace::Dump(const StateGuard& Held, const std::string& FileName, bool Append, bool AllHex, bool Hex) {
  if (!Ring.Allocated()) return 0;
  Recording = false;
  int result = 0;
  if (Wrapped || Index != 0) {
    const std::span<const uint8_t> ring(Ring.Data(), 2 * static_cast<size_t>(Entries));
    const size_t split = 2 * static_cast<size_t>(Index);
    const std::string text = Wrapped ? FormatTraceText(ring.subspan(split), ring.first(split), AllHex, Hex)
                                     : FormatTraceText(ring.first(split), {}, AllHex, Hex);
    bool opened;
    result = WriteDumpFile(FileName, Append, text, opened);
  }
  Stop(Held);
  return result;
}

int TApdBaseDispatcher::StartTrace(uint32_t Entries) {
  StateGuard state(StateLock);
  return Trace.Start(state, Entries);
}

void TApdBaseDispatcher::AddTraceEntry(TTraceKind Kind, uint8_t Byte) {
  StateGuard state(StateLock);
  Trace.Add(state, Kind, Byte);
}

int TApdBaseDispatcher::ClearTrace() {
  StateGuard state(StateLock);
  Trace.Clear(state);
  return 0;
}

void TApdBaseDispatcher::PauseTrace() {
  StateGuard state(StateLock);
  Trace.Pause(state);
}

void TApdBaseDispatcher::ResumeTrace() {
  StateGuard state(StateLock);
  Trace.Resume(state);
}

void TApdBaseDispatcher::StopTrace() {
  StateGuard state(StateLock);
  Trace.Stop(state);
}

int TApdBaseDispatcher::DumpTrace(const std::string& FileName, bool Append, bool AllHex, bool Hex) {
  StateGuard state(StateLock);
  return Trace.Dump(state, FileName, Append, AllHex, Hex);
}

// Records on the thread doing the recorded work (the dispatch thread for reads and fired
// triggers, the user-interface thread for writes and trigger changes).
void TApdBaseDispatcher::LogEntry(uint8_t Type, uint8_t SubType, int32_t Value, uint32_t DataLength,
                                  const void* Data) {
  if (!Log.On()) return;
  AddLogEntry(Type, SubType, DataLength, Data, Value);
}

void TApdBaseDispatcher::AddLogEntry(uint8_t Type, uint8_t SubType, uint32_t DataLength, const void* Data,
                                     int32_t Value) {
  StateGuard state(StateLock);
  Log.Add(state, Type, SubType, DataLength, Data, Value);
}

void TApdBaseDispatcher::StartLog(uint32_t Bytes) {
  StateGuard state(StateLock);
  Log.Start(state, Bytes);
}

int TApdBaseDispatcher::ClearLog() {
  StateGuard state(StateLock);
  Log.Clear(state);
  return 0;
}

void TApdBaseDispatcher::PauseLog() {
  StateGuard state(StateLock);
  Log.Pause(state);
}

void TApdBaseDispatcher::ResumeLog() {
  StateGuard state(StateLock);
  Log.Resume(state);
}

void TApdBaseDispatcher::StopLog() {
  StateGuard state(StateLock);
  Log.Stop(state);
}

int TApdBaseDispatcher::DumpLog(const std::string& FileName, bool Append, bool AllHex, bool Hex) {
  StateGuard state(StateLock);
  return Log.Dump(state, FileName, Append, AllHex, Hex, DeviceName);
}
