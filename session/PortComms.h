// PortComms: the PC's serial port numbers, from the system's SerialComm list (the registry key
// HKLM\Hardware\DeviceMap\SerialComm on Windows, the device-map folder on Linux).
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/portmap.h"

// Port numbers, in the order of the list they came from.
using TPortsList = std::vector<int32_t>;

// The SerialComm values as platform::ReadSerialCommValues gives them (nullopt: no list at all).
using TSerialCommValues = std::optional<std::vector<platform::SerialCommValue>>;

// A port as the list shows it: its number and the device the system names for it.
struct TPortEntry {
  int32_t number = 0;
  std::string device;  // the value name: "/dev/ttyUSB0", "\Device\Serial0"
};

// One entry per value, in order, by the rules of EnumerateComPorts below.
std::vector<TPortEntry> EnumerateComPortEntries(const TSerialCommValues& values);

// One number per value, in order: the value's data without its first three characters ("COM3"
// gives 3). Values whose name contains "\Device\BthModem" (Bluetooth modems) are skipped. No
// list gives an empty result. Data that is not a number after its first three characters makes
// the whole enumeration fail with platform::EConvertError ("'x' is not a valid integer value").
TPortsList EnumerateComPorts(const TSerialCommValues& values);

// The same over the system's list.
TPortsList EnumerateComPorts();
