// comN links in the device-map folder, through std::filesystem (symlink, readlink, unlink).
#include "sim/PosixDeviceMapLink.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace sim {

namespace fs = std::filesystem;

std::set<int> ComNumbersInUse(const std::string& folder) {
  // The numbers of the comN links. Once the platform's port map lists detected ttys as well,
  // this is the one place to switch to it.
  std::set<int> used;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "com") != 0 || name[3] == '0') continue;
    if (!std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    std::error_code linkEc;
    if (!it->is_symlink(linkEc)) continue;
    const int n = std::stoi(name.substr(3));
    if (n >= 1 && n <= 255) used.insert(n);
  }
  return used;
}

DeviceMapLink::DeviceMapLink(const std::string& folder, const std::string& target) : target_(target) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create the device-map folder " + folder + ": " + ec.message());
  const std::set<int> used = ComNumbersInUse(folder);
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

DeviceMapLink::~DeviceMapLink() { Remove(); }

void DeviceMapLink::Remove() {
  if (path_.empty()) return;
  std::error_code ec;
  if (fs::read_symlink(path_, ec) == fs::path(target_) && !ec) fs::remove(path_, ec);
  path_.clear();
}

}  // namespace sim
