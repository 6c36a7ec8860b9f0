// DispatchLog: the dispatch log of one dispatcher, a byte ring of timestamped entries (a 16-byte
// header, then the entry's data) recording the dispatcher's own events, the oldest dropped
// first when it is full, and its dump to a text file. The dispatcher calls it under its
// StateLock (the StateGuard parameter); On() may be read without it.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serial/ByteRing.h"

// Proof that the caller holds the dispatcher's StateLock.
using StateGuard = std::lock_guard<std::recursive_mutex>;

class DispatchLog {
public:
  static constexpr uint32_t HeaderSize = 16;

  bool On() const { return Recording.load(std::memory_order_relaxed); }
  // The millisecond clock reading entries count from (the port's open).
  void SetTimeBase(const StateGuard&, uint64_t Milliseconds) { TimeBase = Milliseconds; }

  // An existing ring is only emptied (recording stays as it was); otherwise a ring of Bytes is
  // allocated, emptied, and recording starts.
  void Start(const StateGuard&, uint32_t Bytes);
  void Clear(const StateGuard&);
  void Pause(const StateGuard&) { Recording = false; }
  void Resume(const StateGuard&) { if (Ring.Allocated()) Recording = true; }
  void Stop(const StateGuard&);
  // Appends an entry while recording. An entry goes in whole or its data stays out (the header
  // then says it has none); pieces that cannot fit are refused silently.
  void Add(const StateGuard&, uint8_t Type, uint8_t SubType, uint32_t DataLength, const void* Data,
           int32_t Value);
  // Writes the entries, oldest first, under the header lines for DeviceName, then stops and
  // frees the log; a file that cannot be opened keeps the ring, with recording off. 0 or the
  // negated I/O error.
  int Dump(const StateGuard&, const std::string& FileName, bool Append, bool AllHex, bool Hex,
           const std::string& DeviceName);

private:
  void Append(const uint8_t* Piece, uint32_t Length);
  // Reads the oldest entry (header, and its data when Data is given) and drops it from the
  // ring; false when the ring is empty.
  bool ReadEntry(uint8_t* Header, uint8_t* Data);

  std::atomic<bool> Recording{false};  // recording events (written under StateLock)
  ByteRing Ring;                       // entries (StateLock, as everything below)
  uint32_t Head = 0;                   // next byte to write
  uint32_t Tail = 0;                   // oldest byte
  uint32_t Free = 0;                   // free bytes
  std::unique_ptr<uint8_t[]> Scratch;  // one entry's data, read back for a dump
  uint64_t TimeBase = 0;               // millisecond clock at the open
};
