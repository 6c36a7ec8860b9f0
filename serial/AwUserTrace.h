// ByteTrace: the byte trace of one dispatcher, a ring of (kind, byte) pairs recording every byte
// taken by ReadByte ('R') and queued by WriteBytes ('T'), and its dump to a text file. The
// dispatcher calls it under its StateLock (the StateGuard parameter); On() may be read without.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "serial/AwUserLog.h"
#include "serial/AwUserTypes.h"
#include "serial/ByteRing.h"

class ByteTrace {
public:
  bool On() const { return Recording.load(std::memory_order_relaxed); }
  // −1002 for more than MaxTraceEntries; an existing ring is only emptied. Recording starts.
  int Start(const StateGuard&, uint32_t Entries);
  void Add(const StateGuard&, TTraceKind Kind, uint8_t Byte);
  void Clear(const StateGuard&);
  void Pause(const StateGuard&) { Recording = false; }
  void Resume(const StateGuard&) { if (Ring.Allocated()) Recording = true; }
  void Stop(const StateGuard&);
  // Writes the pairs, oldest first, then stops and frees the trace (nothing is written when it
  // holds none). 0 or the negated I/O error.
  int Dump(const StateGuard&, const std::string& FileName, bool Append, bool AllHex, bool Hex);

private:
  std::atomic<bool> Recording{false};  // recording bytes (written under StateLock)
  ByteRing Ring;                       // (kind, byte) pairs (StateLock, as everything below)
  uint32_t Entries = 0;                // ring size in entries
  uint32_t Index = 0;                  // next entry
  bool Wrapped = false;                // the ring has been filled at least once
};
