// LD_PRELOAD shim that lets libserialport open a pseudo-terminal, for the benchmark only.
// libserialport looks every port up under /sys/class/tty/<name> and fails when the entry is
// missing (ptys have none), and it reads and drives the modem lines, which a pty refuses. For a
// pty, and only for one, the shim makes the sysfs lookup succeed and answers the modem-line
// ioctls with "all lines off". Everything else goes to the C library unchanged.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

// The kernel's major numbers of Unix98 pty slaves (/dev/pts/N).
bool IsPtySlave(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;  // -1 + errno on failure
  const unsigned major = major(st.st_rdev);
  return major >= 136 && major <= 143;
}

bool IsPtySysfsEntry(const char* path) { return path && std::strncmp(path, "/sys/class/tty/pts/", 19) == 0; }

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

// The sysfs entry of a pty: a plain directory, so the port counts as a native one with no
// further details.
int __lxstat(int version, const char* path, struct stat* out) {
  static auto real = Next<int (*)(int, const char*, struct stat*)>("__lxstat");
  if (IsPtySysfsEntry(path)) {
    std::memset(out, 0, sizeof *out);
    out->st_mode = S_IFDIR | 0755;
    return 0;
  }
  return real(version, path, out);
}

// The device link of that entry: a platform device, which libserialport takes as a native port.
ssize_t readlink(const char* path, char* out, size_t size) {
  static auto real = Next<ssize_t (*)(const char*, char*, size_t)>("readlink");
  if (IsPtySysfsEntry(path)) {
    static const char kTarget[] = "../../../platform/pty";
    const size_t length = std::min(size, sizeof kTarget - 1);
    std::memcpy(out, kTarget, length);
    return static_cast<ssize_t>(length);
  }
  return real(path, out, size);
}

int ioctl(int fd, unsigned long request, ...) {
  static auto real = Next<int (*)(int, unsigned long, void*)>("ioctl");
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  const bool modemLines = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
  if (modemLines && IsPtySlave(fd)) {
    if (request == TIOCMGET && argument) *static_cast<int*>(argument) = 0;
    return 0;
  }
  return real(fd, request, argument);
}

}  // extern "C"
