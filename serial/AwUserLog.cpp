// DispatchLog: appending entries to the log ring, reading them back oldest first, and the dump.
#include "serial/AwUserLog.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <span>

#include "platform/osname.h"
#include "serial/AdStrMap.h"
#include "serial/AwUserDumpFile.h"
#include "serial/AwUserDumpFormat.h"
#include "serial/OoMiscClock.h"

namespace {

struct LogHeader {
  uint8_t Type;
  uint8_t SubType;
  uint32_t Milliseconds;
  int32_t Value;
  uint32_t DataLength;
};

void EncodeHeader(const LogHeader& header, uint8_t* out) {
  std::memset(out, 0, DispatchLog::HeaderSize);
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

}  // namespace

void DispatchLog::Start(const StateGuard&, uint32_t Bytes) {
  if (!Ring.Allocated()) {
    Ring.Allocate(Bytes ? Bytes : 1);
    // Every stored entry is smaller than the ring, so the scratch buffer holds any entry's data.
    Scratch = std::make_unique<uint8_t[]>(Bytes ? Bytes : 1);
    Recording = true;
  }
  Head = Tail = 0;
  Free = Bytes ? Bytes : 1;
}

void DispatchLog::Clear(const StateGuard&) {
  Head = Tail = 0;
  Free = Ring.Size();
}

void DispatchLog::Stop(const StateGuard&) {
  Recording = false;
  Ring.Free();
  Scratch.reset();
  Head = Tail = Free = 0;
}

void DispatchLog::Append(const uint8_t* Piece, uint32_t Length) {
  Head = Ring.CopyIn(Head, Piece, Length);
  Free -= Length;
}

bool DispatchLog::ReadEntry(uint8_t* Header, uint8_t* Data) {
  const uint32_t size = Ring.Size();
  if (Free >= size) return false;
  Ring.CopyOut(Tail, Header, HeaderSize);
  const uint32_t used = size - Free;
  const uint32_t length = std::min(DecodeHeader(Header).DataLength, used - HeaderSize);
  std::memcpy(Header + 12, &length, 4);
  if (Data) Ring.CopyOut((Tail + HeaderSize) % size, Data, length);
  Tail = (Tail + HeaderSize + length) % size;
  Free += HeaderSize + length;
  return true;
}

void DispatchLog::Add(const StateGuard&, uint8_t Type, uint8_t SubType, uint32_t DataLength, const void* Data,
                      int32_t Value) {
  const uint32_t size = Ring.Size();
  if (!Recording || !Ring.Allocated() || HeaderSize >= size) return;
  const uint32_t stored = Data && static_cast<uint64_t>(HeaderSize) + DataLength < size ? DataLength : 0;
  uint8_t dropped[HeaderSize];
  while (Free < HeaderSize + stored && Free < size) ReadEntry(dropped, nullptr);
  const LogHeader header{Type, SubType, static_cast<uint32_t>(AdTimeGetTime() - TimeBase), Value, stored};
  uint8_t encoded[HeaderSize];
  EncodeHeader(header, encoded);
  Append(encoded, HeaderSize);
  if (stored) Append(static_cast<const uint8_t*>(Data), stored);
}

int DispatchLog::Dump(const StateGuard& Held, const std::string& FileName, bool Append, bool AllHex, bool Hex,
                      const std::string& DeviceName) {
  Recording = false;
  if (!Ring.Allocated() || Free >= Ring.Size()) {
    Stop(Held);
    return 0;
  }
  // Read the entries from a copy of the ring positions: if the file cannot be opened, the log
  // stays as it is.
  const uint32_t tail = Tail, freeBytes = Free;
  const std::time_t now = std::time(nullptr);
  // std::localtime's result is shared: dumps run on the user-interface thread only.
  const std::tm* local = std::localtime(&now);
  std::string text = FormatLogHeader(platform::OperatingSystemName(), DeviceName, local ? *local : std::tm{});
  uint8_t rawHeader[HeaderSize];
  while (ReadEntry(rawHeader, Scratch.get())) {
    const LogHeader header = DecodeHeader(rawHeader);
    text += FormatLogEntry(header.Milliseconds, header.Type, header.SubType,
                           ErrorMessageText(kLogTypeNameBase + header.Type),
                           ErrorMessageText(kLogSubtypeNameBase + header.SubType), header.Value,
                           std::span<const uint8_t>(Scratch.get(), header.DataLength), AllHex, Hex);
  }
  bool opened;
  const int result = WriteDumpFile(FileName, Append, text, opened);
  if (!opened) {
    Tail = tail;
    Free = freeBytes;
    return result;
  }
  Stop(Held);
  return result;
}
