// Port enumeration over the SerialComm values.
#include "session/PortComms.h"

#include <string>

#include "platform/sysutils.h"

TPortsList EnumerateComPorts(const TSerialCommValues& values) {
  TPortsList ports;
  if (!values) return ports;
  for (const platform::SerialCommValue& value : *values) {
    if (value.name.find("\\Device\\BthModem") != std::string::npos) continue;
    const std::string number = value.data.size() > 3 ? value.data.substr(3) : std::string();
    ports.push_back(platform::StrToInt(number));
  }
  return ports;
}

TPortsList EnumerateComPorts() { return EnumerateComPorts(platform::ReadSerialCommValues()); }
