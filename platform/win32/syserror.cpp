// The system's text for a Win32 error number on Windows, straight from the system's message
// table in the default language.
#include "platform/syserror.h"

#include <windows.h>

namespace platform {

std::string SystemErrorText(unsigned long win32Error) {
  char buffer[256];
  // FormatMessageA: returns the number of characters stored (without the terminating zero),
  // 0 on failure (no such message, or it does not fit the 255 characters offered).
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(win32Error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                      buffer, 255, nullptr);
  if (length == 0) return {};
  return std::string(buffer, length);
}

}  // namespace platform
