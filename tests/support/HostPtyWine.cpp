// HostPty.h under Wine: the test, a Windows program, runs inside a Linux process, and Linux's
// system calls are the only way to a pseudo-terminal from there (Win32 has no such device).
// Each call is the x86-64 `syscall` instruction with Linux's numbers; a result in -4095..-1 is
// -errno. The structures are the kernel's own (termios with 19 control characters, pollfd).
#include "tests/support/HostPty.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

enum : long { SysRead = 0, SysWrite = 1, SysOpen = 2, SysClose = 3, SysPoll = 7, SysIoctl = 16,
              SysUnlink = 87, SysSymlink = 88 };
constexpr long OpenFlags = 02 | 0400 | 04000 | 02000000;  // O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC
constexpr long Eexist = 17;
constexpr unsigned long Tcgets = 0x5401, Tcsets = 0x5402, Tiocsptlck = 0x40045431, Tiocgptn = 0x80045430;

long Sys(long number, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0) {
  long result;
  __asm__ volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
  return result;
}

struct KernelTermios {
  uint32_t iflag, oflag, cflag, lflag;
  uint8_t line;
  uint8_t cc[19];
};

// cfmakeraw, and the receiver on without modem control: 0 or -errno.
long MakeRaw(int fd) {
  KernelTermios tio{};
  if (const long r = Sys(SysIoctl, fd, Tcgets, reinterpret_cast<intptr_t>(&tio)); r < 0) return r;
  tio.iflag &= ~(0001u | 0002u | 0010u | 0040u | 0100u | 0200u | 0400u | 02000u);  // IGNBRK..IXON
  tio.oflag &= ~0001u;                                                           // OPOST
  tio.lflag &= ~(0010u | 0100u | 0002u | 0001u | 0100000u);  // ECHO ECHONL ICANON ISIG IEXTEN
  tio.cflag = (tio.cflag & ~(0060u | 0400u)) | 0060u | 04000u | 0200u;  // CS8, no PARENB; CLOCAL CREAD
  tio.cc[6] = 1;  // VMIN
  tio.cc[5] = 0;  // VTIME
  return Sys(SysIoctl, fd, Tcsets, reinterpret_cast<intptr_t>(&tio));
}

[[noreturn]] void Fail(const std::string& what, long error) {
  throw std::runtime_error(what + " failed with errno " + std::to_string(-error));
}

}  // namespace

long HostRead(int fd, void* buffer, size_t size) {
  return Sys(SysRead, fd, reinterpret_cast<intptr_t>(buffer), static_cast<intptr_t>(size));
}

long HostWrite(int fd, const void* data, size_t size) {
  return Sys(SysWrite, fd, reinterpret_cast<intptr_t>(data), static_cast<intptr_t>(size));
}

int HostPoll(int fd, short events, int timeoutMs) {
  struct { int fd; short events, revents; } one{fd, events, 0};
  return static_cast<int>(Sys(SysPoll, reinterpret_cast<intptr_t>(&one), 1, timeoutMs));
}

HostPty::HostPty(bool holdSlave) {
  const long master = Sys(SysOpen, reinterpret_cast<intptr_t>("/dev/ptmx"), OpenFlags);
  if (master < 0) Fail("open /dev/ptmx", master);
  master_ = static_cast<int>(master);
  int unlock = 0;
  unsigned number = 0;
  long r = Sys(SysIoctl, master_, Tiocsptlck, reinterpret_cast<intptr_t>(&unlock));
  if (r == 0) r = Sys(SysIoctl, master_, Tiocgptn, reinterpret_cast<intptr_t>(&number));
  if (r == 0) r = MakeRaw(master_);
  if (r < 0) {
    closeMaster();
    Fail("setting up the pty master", r);
  }
  slavePath_ = "/dev/pts/" + std::to_string(number);
  const long slave = Sys(SysOpen, reinterpret_cast<intptr_t>(slavePath_.c_str()), OpenFlags);
  if (slave < 0 || (r = MakeRaw(static_cast<int>(slave))) < 0) {
    if (slave >= 0) Sys(SysClose, slave);
    closeMaster();
    Fail("opening " + slavePath_, slave < 0 ? slave : r);
  }
  if (holdSlave) heldSlave_ = static_cast<int>(slave);
  else Sys(SysClose, slave);
}

HostPty::~HostPty() {
  releaseSlave();
  closeMaster();
}

void HostPty::closeMaster() {
  if (master_ >= 0) Sys(SysClose, master_);  // errors on close are not actionable
  master_ = -1;
}

void HostPty::releaseSlave() {
  if (heldSlave_ >= 0) Sys(SysClose, heldSlave_);
  heldSlave_ = -1;
}

std::string ComLinkFolder() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix || !*prefix) throw std::runtime_error("WINEPREFIX is not set: the tests map their ports there");
  return std::string(prefix) + "/dosdevices";
}

bool LinkComPort(const std::string& folder, int number, const std::string& target) {
  const std::string path = folder + "/com" + std::to_string(number);
  const long r = Sys(SysSymlink, reinterpret_cast<intptr_t>(target.c_str()), reinterpret_cast<intptr_t>(path.c_str()));
  if (r == 0) return true;
  if (r == -Eexist) return false;
  Fail("symlink " + path, r);
}

void UnlinkComPort(const std::string& folder, int number) {
  const std::string path = folder + "/com" + std::to_string(number);
  Sys(SysUnlink, reinterpret_cast<intptr_t>(path.c_str()));  // a missing link is fine
}

}  // namespace testsupport
