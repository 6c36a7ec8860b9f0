// The port map on Linux: comN links of the device-map folder, then the detected serial devices.
#include "platform/portmap.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>

#include "platform/linux/portmap_rules.h"

namespace platform::detail {
namespace {

constexpr std::string_view kFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};

// (family, number) of a detected device path; unknown paths sort after every family.
std::pair<size_t, long> DetectedOrder(const std::string& path) {
  for (size_t family = 0; family < std::size(kFamilies); ++family) {
    const std::string_view prefix = kFamilies[family];
    if (path.compare(0, prefix.size(), prefix) == 0) {
      const std::string digits = path.substr(prefix.size());
      if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {family, std::strtol(digits.c_str(), nullptr, 10)};
    }
  }
  return {std::size(kFamilies), 0};
}

std::mutex gSourceMutex;
DetectedDevicesSource gSource;  // (gSourceMutex) empty: scan /dev

std::optional<std::vector<std::string>> DetectedDevices() {
  DetectedDevicesSource source;
  {
    std::lock_guard lock(gSourceMutex);
    source = gSource;
  }
  return source ? source() : ScanDetectedDevices();
}

std::vector<PortMapEntry> CurrentPortMap(bool& anySource) {
  auto links = ReadComLinks(DeviceMapFolder());
  auto detected = DetectedDevices();
  anySource = links.has_value() || detected.has_value();
  return ArrangePortMap(links.value_or(std::vector<ComLink>{}), detected.value_or(std::vector<std::string>{}));
}

}  // namespace

int ComLinkNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 6 || name.substr(0, 3) != "com" || name[3] == '0') return 0;
  int number = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= 255 ? number : 0;
}

std::vector<PortMapEntry> ArrangePortMap(std::vector<ComLink> links, const std::vector<std::string>& detected) {
  std::sort(links.begin(), links.end(), [](const ComLink& a, const ComLink& b) { return a.number < b.number; });
  std::vector<PortMapEntry> entries;
  std::set<int> used;
  std::set<std::string> listed;
  for (const ComLink& link : links) {
    if (!used.insert(link.number).second) continue;
    entries.push_back({link.number, link.target, link.linkPath});
    listed.insert(link.target);
  }
  std::vector<std::string> devices = detected;
  std::stable_sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
    return DetectedOrder(a) < DetectedOrder(b);
  });
  int next = 1;
  for (const std::string& device : devices) {
    if (!listed.insert(device).second) continue;  // a link already names it, or listed twice
    while (used.count(next)) ++next;
    if (next > 255) break;
    used.insert(next);
    entries.push_back({next, device, device});
  }
  return entries;
}

std::optional<std::vector<ComLink>> ReadComLinks(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);  // nullptr + errno
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return std::vector<ComLink>{};
    return std::nullopt;
  }
  std::vector<ComLink> links;
  while (const dirent* entry = ::readdir(dir.get())) {  // nullptr at the end (or on error: stop there)
    const int number = ComLinkNumber(entry->d_name);
    if (number == 0) continue;
    const std::string linkPath = folder + "/" + entry->d_name;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(linkPath.c_str(), target, sizeof target - 1);  // -1 + errno: not a link
    if (length < 0) continue;
    std::string resolved(target, static_cast<size_t>(length));
    if (resolved.empty() || resolved[0] != '/') resolved = folder + "/" + resolved;
    char canonical[PATH_MAX];
    if (::realpath(linkPath.c_str(), canonical)) resolved = canonical;  // nullptr + errno when it dangles
    links.push_back({number, linkPath, resolved});
  }
  return links;
}

void SetDetectedDevicesSource(DetectedDevicesSource source) {
  std::lock_guard lock(gSourceMutex);
  gSource = std::move(source);
}

}  // namespace platform::detail

namespace platform {

std::optional<std::vector<SerialCommValue>> ReadSerialCommValues() {
  bool anySource = false;
  const auto entries = detail::CurrentPortMap(anySource);
  if (!anySource) return std::nullopt;
  std::vector<SerialCommValue> values;
  for (const auto& entry : entries) values.push_back({entry.valueName, "COM" + std::to_string(entry.number)});
  return values;
}

std::string DevicePathForPort(int portNumber) {
  bool anySource = false;
  for (const auto& entry : detail::CurrentPortMap(anySource))
    if (entry.number == portNumber) return entry.openPath;
  return {};
}

}  // namespace platform
