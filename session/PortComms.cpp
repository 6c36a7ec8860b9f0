// Port enumeration over the SerialComm values.
#include "session/PortComms.h"

#include <string>

#include "platform/sysutils.h"

std::vector<TPortEntry> EnumerateComPortEntries(const TSerialCommValues& values) {
  std::vector<TPortEntry> ports;
  if (!values) return ports;
  for (const platform::SerialCommValue& value : *values) {
    if (value.name.find("\\Device\\BthModem") != std::string::npos) continue;
    const std::string number = value.data.size() > 3 ? value.data.substr(3) : std::string();
    ports.push_back({platform::StrToInt(number), value.name});
  }
  return ports;
}

TPortsList EnumerateComPorts(const TSerialCommValues& values) {
  TPortsList ports;
  for (const TPortEntry& entry : EnumerateComPortEntries(values)) ports.push_back(entry.number);
  return ports;
}

TPortsList EnumerateComPorts() { return EnumerateComPorts(platform::ReadSerialCommValues()); }
