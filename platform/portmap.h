// The port map: the operating system's list of serial ports, as the registry key
// HKLM\Hardware\DeviceMap\SerialComm presents it on Windows (value name = device, data =
// "COMn"). On Linux it is read from the device-map folder of comN links and the detected ttys.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SerialCommValue {
  std::string name;  // the value name: the device path ("/dev/ttyUSB0", "\Device\Serial0")
  std::string data;  // the value's string data: "COM3"
};

// The SerialComm values in the order the system gives them; nullopt when the key (or, on
// Linux, every source of ports) cannot be opened for reading.
std::optional<std::vector<SerialCommValue>> ReadSerialCommValues();

// Linux only: the folder of comN links: $DRAVIK_DEVICEMAP, else $XDG_RUNTIME_DIR/dravik/devicemap,
// else /tmp/dravik-<uid>/devicemap. The folder is not created here.
std::string DeviceMapFolder();

// Linux only: the device to open for port number n ("\\.\COMn"), or empty when the port map
// has no such port.
std::string DevicePathForPort(int portNumber);

}  // namespace platform
