// The dispatcher's two recorders: the byte trace, a ring of (kind, byte) pairs recording every
// byte taken by ReadByte ('R') and queued by WriteBytes ('T'), with its dump to a text file; and
// the dispatch log's operations, which run DispatchLog under StateLock.
#include <span>

#include "serial/AwUser.h"
#include "serial/AwUserDumpFile.h"
#include "serial/AwUserDumpFormat.h"

int TApdBaseDispatcher::StartTrace(uint32_t Entries) {
  std::lock_guard state(StateLock);
  if (Entries > MaxTraceEntries) return ecBadArgument;
  if (!TraceRing.Allocated()) {
    TraceRing.Allocate(2 * Entries + 2);
    TraceEntries = Entries;
  }
  TraceIndex = 0;
  TraceWrapped = false;
  TraceOn = true;
  return 0;
}

void TApdBaseDispatcher::AddTraceEntry(TTraceKind Kind, uint8_t Byte) {
  std::lock_guard state(StateLock);
  if (!TraceRing.Allocated() || TraceEntries == 0) return;
  uint8_t* pair = TraceRing.Data() + 2 * TraceIndex;
  pair[0] = static_cast<uint8_t>(Kind);
  pair[1] = Byte;
  if (++TraceIndex >= TraceEntries) {
    TraceIndex = 0;
    TraceWrapped = true;
  }
}

int TApdBaseDispatcher::ClearTrace() {
  std::lock_guard state(StateLock);
  TraceIndex = 0;
  TraceWrapped = false;
  return 0;
}

void TApdBaseDispatcher::PauseTrace() {
  std::lock_guard state(StateLock);
  TraceOn = false;
}

void TApdBaseDispatcher::ResumeTrace() {
  std::lock_guard state(StateLock);
  if (TraceRing.Allocated()) TraceOn = true;
}

void TApdBaseDispatcher::StopTrace() {
  std::lock_guard state(StateLock);
  TraceOn = false;
  TraceRing.Free();
  TraceEntries = TraceIndex = 0;
  TraceWrapped = false;
}

int TApdBaseDispatcher::DumpTrace(const std::string& FileName, bool Append, bool AllHex, bool Hex) {
  std::lock_guard state(StateLock);
  if (!TraceRing.Allocated()) return 0;
  TraceOn = false;
  int result = 0;
  if (TraceWrapped || TraceIndex != 0) {
    const std::span<const uint8_t> ring(TraceRing.Data(), 2 * static_cast<size_t>(TraceEntries));
    const size_t split = 2 * static_cast<size_t>(TraceIndex);
    const std::string text = TraceWrapped ? FormatTraceText(ring.subspan(split), ring.first(split), AllHex, Hex)
                                          : FormatTraceText(ring.first(split), {}, AllHex, Hex);
    bool opened;
    result = WriteDumpFile(FileName, Append, text, opened);
  }
  StopTrace();
  return result;
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
