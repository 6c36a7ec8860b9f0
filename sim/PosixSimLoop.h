// The simulator's event loop: poll() over the pty master (requests in, replies out), the
// control channel and the signal pipe, with a queue of reply pieces due at given times.
#pragma once
#include <cstdint>
#include <string>

#include "sim/Faults.h"
#include "sim/Instrument.h"

namespace sim {

// Milliseconds of the monotonic clock.
int64_t MonotonicMs();

// Creates (when missing) and opens a FIFO for control commands; -1 on failure with errno.
// It is opened read-write so that writers coming and going never make it report end of input.
int OpenControlFifo(const std::string& path);

struct LoopIo {
  int master = -1;      // pty master: the instrument's end of the cable
  int control = -1;     // control commands, or -1
  bool controlEofQuits = false;  // stdin control: end of input ends the simulator
  int signals = -1;     // readable when SIGINT/SIGTERM/SIGHUP arrived
};

// Runs until a signal, "quit", the end of stdin control input, or a failure of the pty.
// Returns the process exit code (0 for a normal end).
int RunSimLoop(const LoopIo& io, Instrument& instrument, FaultPlan& faults);

}  // namespace sim
