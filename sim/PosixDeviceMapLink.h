// The simulator's entry in the device-map folder: a symbolic link comN -> its pty's slave, with
// N above every port number in use when it starts, so that adding it renumbers nothing, or a
// number asked for (a simulator standing in for one that was killed: its link is left behind,
// pointing at a pty that no longer exists).
#pragma once
#include <set>
#include <string>

namespace sim {

// Port numbers in use: those of the port map the program reads (the comN links of the device-map
// folder and the detected serial devices).
std::set<int> ComNumbersInUse();

class DeviceMapLink {
public:
  // Creates `folder` (the port map's device-map folder) when missing and the link; throws
  // std::runtime_error when no number up to 255 is free or the link cannot be made.
  DeviceMapLink(const std::string& folder, const std::string& target);
  // The same with the number `requested` (1-255): an existing comN link whose target is gone (or
  // is `target` itself) is replaced; one whose target exists, or a number a detected serial
  // device holds, is refused with std::runtime_error.
  DeviceMapLink(const std::string& folder, const std::string& target, int requested);
  ~DeviceMapLink();  // removes the link
  DeviceMapLink(const DeviceMapLink&) = delete;
  DeviceMapLink& operator=(const DeviceMapLink&) = delete;

  int number() const { return number_; }
  const std::string& path() const { return path_; }

  // Removes the link if it is still ours (points at our target); safe to call twice.
  void Remove();

private:
  int number_ = 0;
  std::string path_;
  std::string target_;
};

}  // namespace sim
