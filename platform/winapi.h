// Selector for the operating-system API the serial layer is written against: the real Win32
// API on Windows, our own implementation of the same names over POSIX elsewhere.
#pragma once
#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
// <windows.h> makes TextOut a macro for TextOutA or TextOutW; the report canvas has a method of
// that name, and nothing of ours calls the GDI function.
#  undef TextOut
#else
#  include "platform/linux/wintypes.h"
#  include "platform/linux/winerror.h"
#  include "platform/linux/winsync.h"
#  include "platform/linux/wincomm.h"
#  include "platform/linux/winmsg.h"
#endif
