// dravik-sim: a simulated dravik instrument on a pseudo-terminal, registered in the device-map
// folder as comN. First line of output: "COM<n> <slave tty>".
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/portmap.h"
#include "platform/pty.h"
#include "sim/Options.h"
#include "sim/PosixDeviceMapLink.h"
#include "sim/PosixSignals.h"
#include "sim/PosixSimLoop.h"

namespace {

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return !in.bad();
}

sim::CivilTime HostLocalTime() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);  // single-threaded program
  if (!t) return {};
  return {t->tm_year + 1900, t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec};
}

// Removes the control FIFO this process created, on every path out.
struct FifoGuard {
  std::string path;
  int fd = -1;
  ~FifoGuard() {
    if (fd >= 0) ::close(fd);
    if (!path.empty()) ::unlink(path.c_str());  // -1 if already gone: nothing to do
  }
};

}  // namespace

int main(int argc, char** argv) {
  sim::SimOptions options;
  std::string error;
  if (!sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error, ReadFile)) {
    std::fprintf(stderr, "dravik-sim: %s\n%s", error.c_str(), sim::Usage().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(sim::Usage().c_str(), stdout);
    return 0;
  }
  try {
    sim::SignalPipe signals;
    platform::PtyPair pty(true);  // holds the slave: the program may close and reopen the port
    const std::unique_ptr<sim::DeviceMapLink> link =
        options.com ? std::make_unique<sim::DeviceMapLink>(platform::DeviceMapFolder(), pty.slavePath(), options.com)
                    : std::make_unique<sim::DeviceMapLink>(platform::DeviceMapFolder(), pty.slavePath());

    FifoGuard fifo;
    sim::LoopIo io;
    io.master = pty.master();
    io.signals = signals.fd();
    if (options.control == "stdin") {
      io.control = STDIN_FILENO;
      io.controlEofQuits = true;
    } else if (!options.control.empty()) {
      fifo.fd = sim::OpenControlFifo(options.control);
      if (fifo.fd < 0) throw std::runtime_error("cannot open the control FIFO " + options.control);
      fifo.path = options.control;
      io.control = fifo.fd;
    }

    sim::Instrument instrument(options.setup, HostLocalTime(), sim::MonotonicMs());
    sim::FaultPlan faults;
    for (const sim::FaultRule& rule : options.faults) faults.Add(rule);

    std::printf("COM%d %s\n", link->number(), pty.slavePath().c_str());
    std::fflush(stdout);
    return sim::RunSimLoop(io, instrument, faults);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dravik-sim: %s\n", e.what());
    return 1;
  }
}
