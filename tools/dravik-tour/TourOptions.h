// Command-line options of dravik-tour, the headless guided tour of dravikPC.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tour {

struct TourOptions {
  std::string window = "out/demo-window.png";  // the picture of the connected window
  std::string report = "out/demo-report.pdf";  // the printed report
  std::string sim;                             // dravik-sim to start; empty: the one built beside us
  std::optional<int> stepTimeoutS;             // replaces every step's own bound
  std::optional<int> port;                     // an instrument already on COM <port>: no dravik-sim
  std::string records;                         // with it: dravik-records reprints the kept read-out here
  std::vector<std::string> simArgs;            // passed on to dravik-sim (after "--")
  bool help = false;
};

// Parses argv[1..]; on error returns false with `error` set.
bool ParseTourOptions(const std::vector<std::string>& args, TourOptions& options, std::string& error);

std::string TourUsage();

}  // namespace tour
