// The dispatcher's constants, small enumerations and trigger records: trigger messages and
// handles, option and flow bits, status kinds, modem and line bits, dispatch-log entry kinds,
// the worker threads, and the timer, status and data trigger records with their save record.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "platform/winapi.h"
#include "serial/OoMiscClock.h"

// Trigger messages sent to the registered windows. wParam: the byte count (avail) or the
// trigger handle; lParam: (dispatcher handle << 16) + a data word.
inline constexpr UINT TriggerAvailMessage = 0x7E01;
inline constexpr UINT TriggerDataMessage = 0x7E02;
inline constexpr UINT TriggerTimerMessage = 0x7E03;
inline constexpr UINT TriggerStatusMessage = 0x7E04;

// Window deliveries wait this long for the handler (SendMessageTimeout with SMTO_BLOCK).
inline constexpr UINT TriggerSendTimeoutMs = 3000;

// The data-available trigger's fixed handle.
inline constexpr int AvailTriggerHandle = 1;
// The trigger handle counter issues counter * 8 while the counter is below this.
inline constexpr uint32_t TriggerHandleCounterLimit = 4096;
// Longest data trigger string (one match cursor per character).
inline constexpr int MaxDataTriggerLength = 22;
// Largest trace, in entries.
inline constexpr uint32_t MaxTraceEntries = 4000000;

// OpenPort option bits.
inline constexpr uint32_t ptoDTROn = 0x01;
inline constexpr uint32_t ptoRTSOn = 0x02;
inline constexpr uint32_t ptoDTRFlow = 0x10;
inline constexpr uint32_t ptoRTSFlow = 0x20;

// ConfigureHardwareFlow option bits.
inline constexpr int hfUseDTR = 0x01;
inline constexpr int hfUseRTS = 0x02;
inline constexpr int hfRequireDSR = 0x04;
inline constexpr int hfRequireCTS = 0x08;
// ConfigureSoftwareFlow option bits.
inline constexpr int sfTransmitFlow = 0x01;
inline constexpr int sfReceiveFlow = 0x02;

// What RefreshDeliveryNeed is told: recompute, or the port's handler installed or removed.
enum class TDeliveryNeed { Recompute = 0, PortHandlerInstalled = 1, PortHandlerRemoved = 2 };

// The queue DevicePurge empties.
enum class TPurgeQueue { Output = 0, Input = 1 };

// The kind of a trace entry: a byte taken by ReadByte or queued by WriteBytes.
enum class TTraceKind : char { Receive = 'R', Transmit = 'T' };

// Status trigger kinds (the low three bits of a status trigger's handle).
enum TStatusKind : uint8_t {
  stNotActive = 0,
  stModem = 1,
  stLine = 2,
  stOutBuffFree = 3,
  stOutBuffUsed = 4,
  stOutSent = 5,
};

// Modem status shadow bits: change bits in the low nibble, line states in the high nibble.
inline constexpr uint32_t msDeltaCTS = 0x01;
inline constexpr uint32_t msDeltaDSR = 0x02;
inline constexpr uint32_t msTrailingRing = 0x04;
inline constexpr uint32_t msDeltaDCD = 0x08;
inline constexpr uint32_t msCTS = 0x10;
inline constexpr uint32_t msDSR = 0x20;
inline constexpr uint32_t msRing = 0x40;
inline constexpr uint32_t msDCD = 0x80;

// Line error word bits (the device's CE_ values).
inline constexpr uint32_t leOverflow = 0x01;
inline constexpr uint32_t leOverrun = 0x02;
inline constexpr uint32_t leParity = 0x04;
inline constexpr uint32_t leFraming = 0x08;
inline constexpr uint32_t leBreak = 0x10;
inline constexpr uint32_t leAll = 0x1F;

// Dispatch log entry types and subtypes (their names are message-table texts 15001 + type and
// 15100 + subtype).
enum TDispatchType : uint8_t {
  dtDispatch = 1,
  dtTrigger = 2,
  dtTriggerAlloc = 5,
  dtTriggerDispose = 6,
  dtTriggerHandlerAlloc = 7,
  dtTriggerHandlerDispose = 8,
  dtTriggerDataChange = 9,
};
enum TDispatchSubType : uint8_t {
  dstReadCom = 1,
  dstWriteCom = 2,
  dstAvail = 5,
  dstTimer = 6,
  dstData = 7,
  dstStatus = 8,
  dstTimerTrigger = 14,
  dstStatusTrigger = 15,
  dstAvailTrigger = 16,
  dstWindowHandler = 17,
};

// The three worker threads of a running dispatcher.
enum TApdThreadKind : int { tkComThread = 0, tkDispThread = 1, tkOutThread = 2 };

// What a read of arrived input reports beside the bytes (DeviceRead).
struct TArrivedInput {
  uint32_t Left = 0;    // bytes that stayed in the driver's input queue
  uint32_t Errors = 0;  // line error bits (CE_ values) taken on the way
};

// Trigger records. Value types: the lists own them, a TriggerSaveRecord holds copies.
struct TTimerTrigger {
  int32_t Handle = 0;
  EventTimer Timer;      // start and expiry tick of the running timer
  int32_t Ticks = 0;     // interval in ticks; arming with 0 keeps it
  bool Active = false;
};

struct TStatusTrigger {
  int32_t Handle = 0;    // low three bits: the kind
  uint8_t Kind = stNotActive;
  uint16_t Value = 0;    // modem: low byte line states when armed, high byte line mask;
                         // line: error mask (line error bits); out buffer: the threshold
  bool Armed = false;
  bool Hit = false;      // fired in the current pass
};

struct TDataTrigger {
  int32_t Handle = 0;
  int32_t Length = 0;
  std::array<int32_t, MaxDataTriggerLength> Cursors{};  // match cursors, 0 = free
  bool Matched = false;
  bool IgnoreCase = false;
  std::array<char, MaxDataTriggerLength + 2> Data{};    // the string (upper case if IgnoreCase)
};

// Feeds one received byte to a data trigger's match cursors; true when the byte completes
// the trigger's string (the cursors are then cleared).
bool DataTriggerMatch(TDataTrigger& Trigger, uint8_t Byte);

// The avail threshold and every trigger of a dispatcher, as copied out at a close and put back
// after the next open, so handles held by users stay valid across a reopen.
struct TriggerSaveRecord {
  int32_t AvailThreshold = 0;
  std::vector<TTimerTrigger> TimerTriggers;
  std::vector<TDataTrigger> DataTriggers;
  std::vector<TStatusTrigger> StatusTriggers;
  void Clear();
};
