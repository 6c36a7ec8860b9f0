// The port map on Windows: the values of HKLM\Hardware\DeviceMap\SerialComm.
#include "platform/portmap.h"

#include "platform/winapi.h"

namespace platform {

std::optional<std::vector<SerialCommValue>> ReadSerialCommValues() {
  HKEY key;
  // ERROR_SUCCESS or an error number; the key is missing when the machine has no serial ports.
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Hardware\\DeviceMap\\SerialComm", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<SerialCommValue> values;
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[256];
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data - 1;
    DWORD type = 0;
    // ERROR_NO_MORE_ITEMS after the last value; ERROR_MORE_DATA for a value too long to be a port.
    const LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataLength] = 0;
    values.push_back({std::string(name, nameLength), reinterpret_cast<const char*>(data)});
  }
  RegCloseKey(key);  // ERROR_SUCCESS or an error number: nothing to do about a failed close
  return values;
}

// The device-map folder exists only on Linux.
std::string DeviceMapFolder() { return {}; }

// On Windows the system resolves "\\.\COMn" itself.
std::string DevicePathForPort(int portNumber) { return "\\\\.\\COM" + std::to_string(portNumber); }

}  // namespace platform
