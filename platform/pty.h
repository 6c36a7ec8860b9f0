// Pseudo-terminal pairs: the stand-in for a serial cable in the simulator and in tests. The
// master end plays the instrument; the slave end is the tty the program opens as a COM port.
#pragma once
#include <string>

namespace platform {

class PtyPair {
public:
  // Opens a new pair with the master in raw mode (no echo, no line discipline translation) and
  // O_NONBLOCK | O_CLOEXEC. When `holdSlave` is true the pair also keeps a descriptor on the
  // slave open, so the master never sees a hang-up while the program closes and reopens the
  // port. Throws std::system_error on failure.
  explicit PtyPair(bool holdSlave = true);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

  // Closes the master end: the slave side then sees a hang-up (a pulled cable).
  void closeMaster();
  // Closes the descriptor this pair holds on the slave, if any.
  void releaseSlave();

private:
  int master_ = -1;
  int heldSlave_ = -1;
  std::string slavePath_;
};

}  // namespace platform
