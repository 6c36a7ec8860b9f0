// The system's text for a Win32 error number, as FormatMessage gives it (with its closing
// CR LF), or an empty text when the system has none. Win32 numbers are not errno values.
#pragma once
#include <string>

namespace platform {

std::string SystemErrorText(unsigned long win32Error);

}  // namespace platform
