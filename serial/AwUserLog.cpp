// The dispatch log: a byte ring of timestamped entries (a 16-byte header, then the entry's
// data) recording the dispatcher's own events, the oldest dropped first when it is full, and
// its dump to a text file. All under StateLock.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <span>

#include "platform/osname.h"
#include "serial/AdStrMap.h"
#include "serial/AwUser.h"
#include "serial/AwUserDumpFile.h"
#include "serial/AwUserDumpFormat.h"

namespace {

constexpr uint32_t LogHeaderSize = 16;

struct LogHeader {
  uint8_t Type;
  uint8_t SubType;
  uint32_t Milliseconds;
  int32_t Value;
  uint32_t DataLength;
};

void EncodeHeader(const LogHeader& header, uint8_t* out) {
  std::memset(out, 0, LogHeaderSize);
  out[0] = header.Type;
  out[1] = header.SubType;
  std::memcpy(out + 4, &header.Milliseconds, 4);
  std::memcpy(out + 8, &header.Value, 4);
  std::memcpy(out + 12, &header.DataLength, 4);
}

LogHeader DecodeHeader(const uint8_t* in) {
  LogHeader header{in[0], in[1], 0, 0, 0};
  std::memcpy(&header.Milliseconds, in + 4, 4);
  std::memcpy(&header.Value, in + 8, 4);
  std::memcpy(&header.DataLength, in + 12, 4);
  return header;
}

// Copies Length bytes out of a ring starting at Position, wrapping at its end.
void CopyFromRing(const uint8_t* ring, uint32_t size, uint32_t position, uint8_t* out,
                  uint32_t length) {
  const uint32_t first = std::min(length, size - position);
  std::memcpy(out, ring + position, first);
  std::memcpy(out + first, ring, length - first);
}

}  // namespace

// Records on the thread doing the recorded work (the dispatch thread for reads and fired
// triggers, the user-interface thread for writes and trigger changes).
void TApdBaseDispatcher::LogEntry(uint8_t Type, uint8_t SubType, int32_t Value,
                                  uint32_t DataLength, const void* Data) {
  if (!LogOn) return;
  AddLogEntry(Type, SubType, DataLength, Data, Value);
}

void TApdBaseDispatcher::StartLog(uint32_t Bytes) {
  std::lock_guard state(StateLock);
  if (!LogBuff) {
    LogBuff = std::make_unique<uint8_t[]>(Bytes ? Bytes : 1);
    // Every stored entry is smaller than the ring, so the scratch buffer holds any entry's data.
    LogScratch = std::make_unique<uint8_t[]>(Bytes ? Bytes : 1);
    LogSize = Bytes;
    LogOn = true;
  }
  LogHead = LogTail = 0;
  LogFree = LogSize;
}

int TApdBaseDispatcher::ClearLog() {
  std::lock_guard state(StateLock);
  LogHead = LogTail = 0;
  LogFree = LogSize;
  return 0;
}

void TApdBaseDispatcher::PauseLog() {
  std::lock_guard state(StateLock);
  LogOn = false;
}

void TApdBaseDispatcher::ResumeLog() {
  std::lock_guard state(StateLock);
  if (LogBuff) LogOn = true;
}

void TApdBaseDispatcher::StopLog() {
  std::lock_guard state(StateLock);
  LogOn = false;
  LogBuff.reset();
  LogScratch.reset();
  LogSize = LogHead = LogTail = LogFree = 0;
}

void TApdBaseDispatcher::LogAppend(const uint8_t* Piece, uint32_t Length) {
  const uint32_t first = std::min(Length, LogSize - LogHead);
  std::memcpy(LogBuff.get() + LogHead, Piece, first);
  std::memcpy(LogBuff.get(), Piece + first, Length - first);
  LogHead = (LogHead + Length) % LogSize;
  LogFree -= Length;
}

// Reads the oldest entry (header, and its data when Data is given) and drops it from the
// ring; false when the ring is empty.
bool TApdBaseDispatcher::LogReadEntry(uint8_t* Header, uint8_t* Data) {
  if (LogFree >= LogSize) return false;
  CopyFromRing(LogBuff.get(), LogSize, LogTail, Header, LogHeaderSize);
  const uint32_t used = LogSize - LogFree;
  const uint32_t length = std::min(DecodeHeader(Header).DataLength, used - LogHeaderSize);
  std::memcpy(Header + 12, &length, 4);
  if (Data) CopyFromRing(LogBuff.get(), LogSize, (LogTail + LogHeaderSize) % LogSize, Data, length);
  LogTail = (LogTail + LogHeaderSize + length) % LogSize;
  LogFree += LogHeaderSize + length;
  return true;
}

void TApdBaseDispatcher::LogDiscardOldest() {
  uint8_t header[LogHeaderSize];
  LogReadEntry(header, nullptr);
}

void TApdBaseDispatcher::AddLogEntry(uint8_t Type, uint8_t SubType, uint32_t DataLength,
                                     const void* Data, int32_t Value) {
  std::lock_guard state(StateLock);
  if (!LogOn || !LogBuff || LogHeaderSize >= LogSize) return;
  // An entry goes in whole or its data stays out: the header then says it has none, so the
  // ring always reads back entry by entry.
  const uint32_t stored =
      Data && static_cast<uint64_t>(LogHeaderSize) + DataLength < LogSize ? DataLength : 0;
  while (LogFree < LogHeaderSize + stored && LogFree < LogSize) LogDiscardOldest();
  const LogHeader header{Type, SubType, static_cast<uint32_t>(AdTimeGetTime() - TimeBase), Value,
                         stored};
  uint8_t encoded[LogHeaderSize];
  EncodeHeader(header, encoded);
  LogAppend(encoded, LogHeaderSize);
  if (stored) LogAppend(static_cast<const uint8_t*>(Data), stored);
}

int TApdBaseDispatcher::DumpLog(const std::string& FileName, bool Append, bool AllHex, bool Hex) {
  std::lock_guard state(StateLock);
  LogOn = false;
  if (!LogBuff || LogFree >= LogSize) {
    StopLog();
    return 0;
  }
  // Read the entries from a copy of the ring positions: if the file cannot be opened, the
  // log stays as it is.
  const uint32_t tail = LogTail, freeBytes = LogFree;
  const std::time_t now = std::time(nullptr);
  // std::localtime's result is shared: dumps run on the user-interface thread only.
  const std::tm* local = std::localtime(&now);
  std::string text =
      FormatLogHeader(platform::OperatingSystemName(), DeviceName, local ? *local : std::tm{});
  uint8_t rawHeader[LogHeaderSize];
  while (LogReadEntry(rawHeader, LogScratch.get())) {
    const LogHeader header = DecodeHeader(rawHeader);
    text += FormatLogEntry(header.Milliseconds, header.Type, header.SubType,
                           ErrorMessageText(kLogTypeNameBase + header.Type),
                           ErrorMessageText(kLogSubtypeNameBase + header.SubType), header.Value,
                           std::span<const uint8_t>(LogScratch.get(), header.DataLength), AllHex, Hex);
  }
  bool opened;
  const int result = WriteDumpFile(FileName, Append, text, opened);
  if (!opened) {
    LogTail = tail;
    LogFree = freeBytes;
    return result;
  }
  StopLog();
  return result;
}
