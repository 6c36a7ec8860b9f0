// The far end of a serial cable in the tests: a pseudo-terminal pair on the Linux host, its
// master end played by the test, its slave end opened by the code under test as a COM port.
// On Linux this is platform::PtyPair. Under Wine (the Windows build of the tests) the test is a
// Windows program running in a Linux process: it makes the pair and reads and writes the master
// with the host's own system calls (HostPtyWine.cpp), and maps the slave as COM<n> through a
// link in the Wine prefix's dosdevices folder. A real Windows has no ptys: there these tests
// would need a null-modem pair instead.
#pragma once
#include <cstddef>
#include <string>

#if !defined(_WIN32)
#  include "platform/pty.h"
#endif

namespace testsupport {

// Host calls on a descriptor of the pair: the byte count (or 0) on success, -errno on failure.
long HostRead(int fd, void* buffer, size_t size);
long HostWrite(int fd, const void* data, size_t size);
// Waits up to timeoutMs for `events` (POLLIN 1, POLLOUT 4) on fd: > 0 ready, 0 timed out, -errno.
int HostPoll(int fd, short events, int timeoutMs);
constexpr short HostPollIn = 0x001;
constexpr short HostPollOut = 0x004;
constexpr long HostEAGAIN = -11;
constexpr long HostEINTR = -4;

#if defined(_WIN32)
class HostPty {
public:
  explicit HostPty(bool holdSlave = true);  // throws std::runtime_error on failure
  ~HostPty();
  HostPty(const HostPty&) = delete;
  HostPty& operator=(const HostPty&) = delete;
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  void closeMaster();   // the slave side then sees a hang-up (a pulled cable)
  void releaseSlave();  // closes the descriptor held on the slave, if any

private:
  int master_ = -1;
  int heldSlave_ = -1;
  std::string slavePath_;
};
#else
using HostPty = platform::PtyPair;
#endif

// Makes COM<number> open `target` (a tty path): a comN link in the device map folder on Linux,
// in the Wine prefix's dosdevices folder under Wine. false when the name is taken (another test
// holds it); throws on any other failure.
bool LinkComPort(const std::string& folder, int number, const std::string& target);
void UnlinkComPort(const std::string& folder, int number);
// The folder LinkComPort uses by default: platform::DeviceMapFolder() on Linux,
// $WINEPREFIX/dosdevices under Wine.
std::string ComLinkFolder();

}  // namespace testsupport
