// The byte trace: a ring of (kind, byte) pairs recording every byte taken by ReadByte ('R')
// and queued by WriteBytes ('T'), and its dump to a text file. All under StateLock.
#include <span>

#include "serial/AwUser.h"
#include "serial/AwUserDumpFile.h"
#include "serial/AwUserDumpFormat.h"

int TApdBaseDispatcher::StartTrace(uint32_t Entries) {
  std::lock_guard state(StateLock);
  if (Entries > MaxTraceEntries) return ecBadArgument;
  if (TraceBuff) {
    TraceIndex = 0;
    TraceWrapped = false;
  } else {
    TraceBuff = std::make_unique<uint8_t[]>(2 * static_cast<size_t>(Entries) + 2);
    TraceEntries = Entries;
    TraceIndex = 0;
    TraceWrapped = false;
  }
  TraceOn = true;
  return 0;
}

void TApdBaseDispatcher::AddTraceEntry(char Kind, uint8_t Byte) {
  std::lock_guard state(StateLock);
  if (!TraceBuff || TraceEntries == 0) return;
  TraceBuff[2 * TraceIndex] = static_cast<uint8_t>(Kind);
  TraceBuff[2 * TraceIndex + 1] = Byte;
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
  if (TraceBuff) TraceOn = true;
}

void TApdBaseDispatcher::StopTrace() {
  std::lock_guard state(StateLock);
  TraceOn = false;
  TraceBuff.reset();
  TraceEntries = TraceIndex = 0;
  TraceWrapped = false;
}

int TApdBaseDispatcher::DumpTrace(const std::string& FileName, bool Append, bool AllHex, bool Hex) {
  std::lock_guard state(StateLock);
  if (!TraceBuff) return 0;
  TraceOn = false;
  int result = 0;
  if (TraceWrapped || TraceIndex != 0) {
    const std::span<const uint8_t> ring(TraceBuff.get(), 2 * static_cast<size_t>(TraceEntries));
    const size_t split = 2 * static_cast<size_t>(TraceIndex);
    const std::string text =
        TraceWrapped ? FormatTraceText(ring.subspan(split), ring.first(split), AllHex, Hex)
                     : FormatTraceText(ring.first(split), {}, AllHex, Hex);
    bool opened;
    result = WriteDumpFile(FileName, Append, text, opened);
  }
  StopTrace();
  return result;
}
