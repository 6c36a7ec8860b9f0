// Option parsing of dravik-tour.
#include "tools/dravik-tour/TourOptions.h"

#include <cstdlib>

namespace tour {

namespace {

// A whole decimal number from `low` to `high` into `out`; false (and `out` untouched) otherwise.
bool ParseNumber(const std::string& text, long low, long high, std::optional<int>& out) {
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || number < low || number > high) return false;
  out = static_cast<int>(number);
  return true;
}

}  // namespace

std::string TourUsage() {
  return "usage: dravik-tour [options] [-- dravik-sim options]\n"
         "Runs dravikPC's window against dravik-sim without a display (Qt's offscreen platform):\n"
         "connects, saves a picture of the window, prints the report to a PDF file, presses\n"
         "\"CLEAR\" and reads the instrument again. Exits 0 only when every step succeeded.\n"
         "  --window FILE        picture of the connected window (default out/demo-window.png)\n"
         "  --report FILE        the printed report (default out/demo-report.pdf)\n"
         "  --sim PATH           the dravik-sim to start (default: the one built with this tour)\n"
         "  --step-timeout S     bound every step to S seconds instead of its own bound\n"
         "  --port N             use the instrument already on COM N instead of starting dravik-sim\n"
         "                       (the Windows build, under Wine: the simulator runs on the host)\n"
         "  --records FILE       last, open the archive in dravik-records' window and reprint the\n"
         "                       read-out the tour kept into the PDF file FILE\n"
         "  --help\n"
         "Example: dravik-tour -- --config sim/instruments/plain-imperial.json\n";
}

bool ParseTourOptions(const std::vector<std::string>& args, TourOptions& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (opt == "--") {
      options.simArgs.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      return true;
    }
    if (opt == "--help" || opt == "-h") {
      options.help = true;
      continue;
    }
    if (opt != "--window" && opt != "--report" && opt != "--sim" && opt != "--step-timeout" && opt != "--port" &&
        opt != "--records") {
      error = "unknown option: " + opt;
      return false;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      error = opt + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (opt == "--window") {
      options.window = value;
    } else if (opt == "--report") {
      options.report = value;
    } else if (opt == "--records") {
      options.records = value;
    } else if (opt == "--sim") {
      options.sim = value;
    } else if (opt == "--port") {
      if (!ParseNumber(value, 1, 255, options.port)) {
        error = "--port takes a COM number from 1 to 255";
        return false;
      }
    } else if (!ParseNumber(value, 1, 3600, options.stepTimeoutS)) {
      error = "--step-timeout takes a number of seconds from 1 to 3600";
      return false;
    }
  }
  return true;
}

}  // namespace tour
