// Text layout of the trace and dispatch-log dumps. Pure functions, no I/O: the dispatcher
// collects the entries and writes what these return. Lines end in "\n"; the dump files are
// written in text mode, which gives the platform's line ending.
#pragma once
#include <cstdint>
#include <ctime>
#include <span>
#include <string>

// One byte as a dump shows it: "[XX]" (upper-case hex) when AllHex; the character itself when
// printable (0x20..0x7E, from 0x21 when Hex); "[XX]" when Hex; else "[" + decimal + "]".
// Its length is the number of columns it takes.
std::string DumpByteForm(uint8_t Byte, bool AllHex, bool Hex);

// The trace dump of (kind, byte) pairs given oldest first, in two spans (the older part of a
// wrapped ring, then the newer). A block starts at the first pair and at each change of kind:
// "Transmit: " ('T'), "Receive: " ('R') or "Special-<kind>: " on a line of its own, the
// blocks separated by a blank line; byte lines hold at most 78 columns.
std::string FormatTraceText(std::span<const uint8_t> Older, std::span<const uint8_t> Newer,
                            bool AllHex, bool Hex);

// Milliseconds as a log time: at least seven digits with a '.' before the last three
// (300 -> "0000.300").
std::string FormatLogTime(uint32_t Milliseconds);

// The label of a status trigger kind: "(Not active)", "(Modem status)", ... "(Output sent)";
// empty for an unknown kind.
std::string StatusKindLabel(uint8_t Kind);

// The seven header lines of a log dump.
std::string FormatLogHeader(const std::string& OperatingSystem, const std::string& DeviceName,
                            const std::tm& LocalTime);

// One log entry: time, type and subtype names and the value in fixed columns, then its data:
// a status trigger's kind label for status allocations and disposals, otherwise the bytes
// wrapped at column 79 onto lines indented by 44 spaces.
std::string FormatLogEntry(uint32_t Milliseconds, uint8_t Type, uint8_t SubType,
                           const std::string& TypeName, const std::string& SubTypeName,
                           int32_t Value, std::span<const uint8_t> Data, bool AllHex, bool Hex);
