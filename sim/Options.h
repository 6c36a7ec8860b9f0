// Command-line options of dravik-sim. Every instrument option has a JSON key of the same
// meaning (InstrumentJson.h); --config loads a JSON file first and the other options then
// override it, whatever their order.
#pragma once
#include <string>
#include <vector>

#include "sim/Faults.h"
#include "sim/Instrument.h"

namespace sim {

struct SimOptions {
  InstrumentSetup setup;
  std::vector<FaultRule> faults;
  std::string control;  // "" none, "stdin", or the path of a FIFO to create and read
  int com = 0;          // the port number to register as (1-255); 0: above every number in use
  bool help = false;
};

// Parses argv[1..]; on error returns false with `error` set. `readFile` reads the --config
// file (a seam for tests); it returns false when the file cannot be read.
bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error,
                  bool (*readFile)(const std::string& path, std::string& text));

std::string Usage();

}  // namespace sim
