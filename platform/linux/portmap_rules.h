// The rules of the Linux port map, apart from the file system so they can be tested with any
// set of links and detected devices.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::detail {

struct ComLink {
  int number = 0;          // N of "comN"
  std::string linkPath;    // the link itself (opening follows it)
  std::string target;      // where it points, absolute (canonical when it resolves)
};

struct PortMapEntry {
  int number = 0;          // the COM number
  std::string valueName;   // the device path shown as the value name
  std::string openPath;    // what CreateFileA opens for "\\.\COMn"
};

// N of a link named "comN" (lower case, N from 1 to 255 without leading zeros), else 0.
int ComLinkNumber(std::string_view name);

// The links in COM order, then the detected devices (ttyS*, ttyUSB*, ttyACM*, each family
// numerically sorted), each taking the lowest COM number no link or earlier device has. A
// detected device a link already points at is not listed twice.
std::vector<PortMapEntry> ArrangePortMap(std::vector<ComLink> links, const std::vector<std::string>& detected);

// The comN links of a folder; empty when the folder does not exist, nullopt when it cannot be read.
std::optional<std::vector<ComLink>> ReadComLinks(const std::string& folder);

// The serial devices the system has: ttyS* with a real UART behind them, ttyUSB*, ttyACM*.
// nullopt when /dev cannot be read.
std::optional<std::vector<std::string>> ScanDetectedDevices();

// Tests replace the scan of /dev with a fixed list; an empty function restores the scan.
using DetectedDevicesSource = std::function<std::optional<std::vector<std::string>>()>;
void SetDetectedDevicesSource(DetectedDevicesSource source);

}  // namespace platform::detail
