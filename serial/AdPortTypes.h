// The value types of the port component's properties: device layers, parity, flow options,
// trace/log states, telephony modes, the small enum set the option sets are made of, and the
// window messages the component and its port users exchange.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/winapi.h"

enum TDeviceLayer { dlWin32, dlWinsock };
enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum THWFlowOptions { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };

// A set of the values of a small enumeration (at most 32 values), as a bit mask.
template <typename E>
class TEnumSet {
public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> values) {
    for (E value : values) bits_ |= Bit(value);
  }

  constexpr bool Contains(E value) const { return (bits_ & Bit(value)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TEnumSet& Include(E value) {
    bits_ |= Bit(value);
    return *this;
  }
  constexpr TEnumSet& Exclude(E value) {
    bits_ &= ~Bit(value);
    return *this;
  }
  constexpr uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TEnumSet&) const = default;

private:
  static constexpr uint32_t Bit(E value) { return uint32_t{1} << static_cast<unsigned>(value); }
  uint32_t bits_ = 0;
};

using THWFlowOptionSet = TEnumSet<THWFlowOptions>;
using TDeviceLayers = TEnumSet<TDeviceLayer>;

// File names of the trace and the log: at most 255 characters; longer texts are cut.
using TPassString = std::string;
inline constexpr std::size_t MaxPassStringLength = 255;

// Where a port is in its life: no dispatcher / closing (not finished) / open and active.
enum TPortState { psClosed, psShuttingDown, psOpen };

// Messages of the component's hidden window besides the dispatcher's trigger messages
// (0x7E01..0x7E04), and the messages sent to port users registered with a window.
inline constexpr UINT PortOpenMessage = 32264;     // to a port user: the port has opened
inline constexpr UINT PortClosedMessage = 32265;   // to a port user: the port has closed
inline constexpr UINT PortClosingMessage = 32266;  // to an extended port user: closing begins
inline constexpr UINT ClosePendingMessage = 32266; // to the component's own window

// The dispatcher option bit that mirrors UseEventWord.
inline constexpr uint32_t UseEventWordOption = 4;
