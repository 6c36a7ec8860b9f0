// The one translation from errno values to Win32 error numbers.
#pragma once
#include "platform/linux/wintypes.h"

namespace platform::detail {

DWORD Win32ErrorFromErrno(int error);

}  // namespace platform::detail
