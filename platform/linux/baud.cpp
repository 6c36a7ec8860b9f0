// Line speeds over TCGETS2/TCSETS2: a standard rate uses its B-code, any other rate BOTHER.
#include "platform/linux/baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace platform::detail {
namespace {

struct Rate {
  DWORD baud;
  unsigned code;
};

constexpr Rate kRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

int SetLineSpeed(int fd, DWORD baud) {
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) return -1;  // -1 + errno on failure
  unsigned code = BOTHER;
  for (const Rate& rate : kRates)
    if (rate.baud == baud) code = rate.code;
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));  // input speed 0: the same as the output speed
  tio.c_cflag |= code;
  tio.c_ospeed = tio.c_ispeed = baud;
  return ::ioctl(fd, TCSETS2, &tio);  // -1 + errno on failure
}

int GetLineSpeed(int fd, DWORD& baud) {
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) return -1;  // -1 + errno on failure
  const unsigned code = tio.c_cflag & CBAUD;
  baud = tio.c_ospeed;
  for (const Rate& rate : kRates)
    if (rate.code == code) baud = rate.baud;
  return 0;
}

}  // namespace platform::detail
