// comN links in the device-map folder, through std::filesystem (symlink, readlink, unlink),
// numbered from the platform's port map.
#include "sim/PosixDeviceMapLink.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/portmap.h"

namespace sim {

namespace fs = std::filesystem;

std::set<int> ComNumbersInUse() {
  // Every port the program would list: the comN links and the detected ttys numbered after
  // them, so that a new link never takes a number a detected device holds.
  std::set<int> used;
  const auto values = platform::ReadSerialCommValues();
  if (!values) return used;
  for (const platform::SerialCommValue& v : *values) {
    if (v.data.size() < 4 || v.data.compare(0, 3, "COM") != 0) continue;
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data.data() + 3, v.data.data() + v.data.size(), n);
    if (ec == std::errc{} && end == v.data.data() + v.data.size() && n >= 1 && n <= 255) used.insert(n);
  }
  return used;
}

DeviceMapLink::DeviceMapLink(const std::string& folder, const std::string& target) : target_(target) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create the device-map folder " + folder + ": " + ec.message());
  const std::set<int> used = ComNumbersInUse();
  // Above every number in use; another simulator starting at the same moment may take the same
  // number first, so an existing name moves us one further up.
  for (int n = used.empty() ? 1 : *used.rbegin() + 1; n <= 255; ++n) {
    const fs::path link = fs::path(folder) / ("com" + std::to_string(n));
    fs::create_symlink(target, link, ec);
    if (!ec) {
      number_ = n;
      path_ = link.string();
      return;
    }
    if (ec != std::errc::file_exists) throw std::runtime_error("cannot create " + link.string() + ": " + ec.message());
  }
  throw std::runtime_error("no free port number up to 255 in " + folder);
}

DeviceMapLink::DeviceMapLink(const std::string& folder, const std::string& target, int requested)
    : target_(target) {
  if (requested < 1 || requested > 255) throw std::runtime_error("port numbers go from 1 to 255");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create the device-map folder " + folder + ": " + ec.message());
  const std::string name = "com" + std::to_string(requested);
  const fs::path link = fs::path(folder) / name;
  const bool linked = fs::is_symlink(fs::symlink_status(link, ec));
  if (linked) {
    // exists() follows the link: false once the pty it points at has gone with its master. The
    // system may give our own pty the number of the one that went: then the link is ours.
    const bool ours = fs::read_symlink(link, ec) == fs::path(target) && !ec;
    if (!ours && (fs::exists(link, ec) || ec))
      throw std::runtime_error("COM" + std::to_string(requested) + " is in use: " + link.string() + " -> " +
                               fs::read_symlink(link, ec).string());
  } else if (fs::exists(fs::symlink_status(link, ec))) {
    throw std::runtime_error(link.string() + " exists and is not a port link");
  } else if (ComNumbersInUse().count(requested)) {
    throw std::runtime_error("COM" + std::to_string(requested) + " is held by a serial device of this machine");
  }
  // Made under a name of our own and renamed over comN, so the program never sees the number
  // missing or half made.
  const fs::path temporary = fs::path(folder) / (".sim-" + name + "-" + std::to_string(::getpid()));
  fs::remove(temporary, ec);
  fs::create_symlink(target, temporary, ec);
  if (ec) throw std::runtime_error("cannot create " + temporary.string() + ": " + ec.message());
  fs::rename(temporary, link, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw std::runtime_error("cannot create " + link.string() + ": " + ec.message());
  }
  number_ = requested;
  path_ = link.string();
}

DeviceMapLink::~DeviceMapLink() { Remove(); }

void DeviceMapLink::Remove() {
  if (path_.empty()) return;
  std::error_code ec;
  if (fs::read_symlink(path_, ec) == fs::path(target_) && !ec) fs::remove(path_, ec);
  path_.clear();
}

}  // namespace sim
