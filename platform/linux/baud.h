// Line speed of a tty in bits per second, standard or not (termios2). Kept apart because the
// kernel's termios2 header cannot share a file with <termios.h>.
#pragma once
#include "platform/linux/wintypes.h"

namespace platform::detail {

// 0, or -1 with errno set (ioctl convention).
int SetLineSpeed(int fd, DWORD baud);
int GetLineSpeed(int fd, DWORD& baud);

}  // namespace platform::detail
