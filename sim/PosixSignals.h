// SIGINT, SIGTERM and SIGHUP turned into a readable descriptor (the self-pipe), so the
// simulator's poll loop ends cleanly and removes its link; SIGPIPE is ignored so a closed
// stdout cannot kill it.
#pragma once

namespace sim {

class SignalPipe {
public:
  SignalPipe();   // throws std::system_error
  ~SignalPipe();  // restores the previous handlers
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  int fd() const;  // readable once a signal has arrived
  // The number of the last signal received, 0 if none (drains the pipe).
  int Take();
};

}  // namespace sim
