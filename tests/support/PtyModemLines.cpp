// pty_modem_lines: an LD_PRELOAD library for running the Windows build of the tests (and the
// programs) under Wine with pseudo-terminals as COM ports. Wine's serial driver asks the tty for
// its modem lines (TIOCMGET) whenever a comm-event mask holds a modem event and while an event
// wait is pending; a pty refuses those ioctls, so without this a mask with EV_CTS, EV_DSR,
// EV_RLSD or EV_RING fails with error 50, a pending WaitCommEvent ends with 995 and
// GetCommModemStatus fails. Where the real ioctl refuses a modem-line request on a tty, this
// answers it as a cable would: DTR and RTS as last set (on at first), CTS, DSR and DCD on.
// Wine's 32-bit ntdll calls __ioctl_time64, its 64-bit one ioctl: both are defined. Used only by
// scripts/wine-tests.sh and scripts/wine-e2e.sh; never part of a program.
#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace {

constexpr unsigned long Tiocmget = 0x5415, Tiocmbis = 0x5416, Tiocmbic = 0x5417, Tiocmset = 0x5418;
constexpr unsigned long Tcgets = 0x5401;
constexpr int LineDtr = 0x002, LineRts = 0x004, LineCts = 0x020, LineDcd = 0x040, LineDsr = 0x100;
constexpr int MaxFd = 4096;

// DTR and RTS of each descriptor as last set, indexed by descriptor; any thread of the process.
std::atomic<int> outputLines[MaxFd];
std::atomic<bool> touched[MaxFd];

using IoctlFn = int (*)(int, unsigned long, ...);

IoctlFn Real(const char* name) {
  static std::atomic<IoctlFn> ioctl64{nullptr}, ioctlTime64{nullptr};
  std::atomic<IoctlFn>& slot = name[0] == 'i' ? ioctl64 : ioctlTime64;
  IoctlFn fn = slot.load();
  if (!fn) {
    fn = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, name));  // nullptr when the C library lacks it
    if (!fn && name[0] != 'i') fn = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    slot.store(fn);
  }
  return fn;
}

bool IsModemRequest(unsigned long request) {
  return request == Tiocmget || request == Tiocmbis || request == Tiocmbic || request == Tiocmset;
}

// The modem-line request answered for a tty that refused it: 0, or -1 with errno.
int Answer(int fd, unsigned long request, int* lines) {
  if (fd < 0 || fd >= MaxFd || !lines) {
    errno = EINVAL;
    return -1;
  }
  if (!touched[fd].exchange(true)) outputLines[fd] = LineDtr | LineRts;
  const int wanted = request == Tiocmget ? 0 : (*lines & (LineDtr | LineRts));
  switch (request) {
    case Tiocmget: *lines = outputLines[fd] | LineCts | LineDsr | LineDcd; break;
    case Tiocmbis: outputLines[fd] |= wanted; break;
    case Tiocmbic: outputLines[fd] &= ~wanted; break;
    default: outputLines[fd] = wanted; break;
  }
  return 0;
}

int Forward(const char* name, int fd, unsigned long request, void* argument) {
  const IoctlFn real = Real(name);
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  const int result = real(fd, request, argument);
  if (result == 0 || !IsModemRequest(request)) return result;
  const int saved = errno;
  char termios[64];
  if (real(fd, Tcgets, termios) != 0) {  // not a tty: the refusal stands
    errno = saved;
    return result;
  }
  return Answer(fd, request, static_cast<int*>(argument));
}

}  // namespace

extern "C" {

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  return Forward("ioctl", fd, request, argument);
}

int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  return Forward("__ioctl_time64", fd, request, argument);
}

}  // extern "C"
