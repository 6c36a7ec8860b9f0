// Pseudo-terminal pairs over posix_openpt, with both ends set raw.
#include "platform/pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform {
namespace {

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

// Raw mode on a pty end; 0 or -1 with errno (tcgetattr/tcsetattr convention).
int MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return -1;  // -1 + errno on failure
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  return tcsetattr(fd, TCSANOW, &tio);  // -1 + errno on failure
}

}  // namespace

PtyPair::PtyPair(bool holdSlave) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // -1 + errno on failure
  if (master_ < 0) ThrowErrno("posix_openpt");
  const auto fail = [this](const char* what) {
    const int saved = errno;
    ::close(master_);  // close never fails in a way we could act on here
    master_ = -1;
    errno = saved;
    ThrowErrno(what);
  };
  if (grantpt(master_) != 0) fail("grantpt");    // -1 + errno on failure
  if (unlockpt(master_) != 0) fail("unlockpt");  // -1 + errno on failure
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) fail("ptsname_r");  // errno value returned / set
  slavePath_ = name;
  if (MakeRaw(master_) != 0) fail("tcsetattr(master)");
  const int flags = fcntl(master_, F_GETFL);  // -1 + errno on failure
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl(master)");
  // The slave must be set raw as well, or the line discipline would echo and translate CR.
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);  // -1 + errno on failure
  if (slave < 0) fail("open(slave)");
  if (MakeRaw(slave) != 0) {
    const int saved = errno;
    ::close(slave);
    errno = saved;
    fail("tcsetattr(slave)");
  }
  if (holdSlave) heldSlave_ = slave;
  else ::close(slave);
}

PtyPair::~PtyPair() {
  releaseSlave();
  closeMaster();
}

void PtyPair::closeMaster() {
  if (master_ >= 0) ::close(master_);  // errors on close are not actionable
  master_ = -1;
}

void PtyPair::releaseSlave() {
  if (heldSlave_ >= 0) ::close(heldSlave_);
  heldSlave_ = -1;
}

}  // namespace platform
