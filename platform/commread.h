// Taking the input that has already arrived at a comm device, with what the device would
// otherwise be asked for separately: how many bytes stayed in the driver's input queue and the
// line-error bits. The dispatch pass reads through this, so it asks the device nothing else.
#pragma once
#include <cstdint>

#include "platform/winapi.h"

namespace platform {

struct CommInput {
  DWORD Read = 0;    // bytes stored into the buffer
  DWORD Left = 0;    // bytes that stayed in the driver's input queue
  DWORD Errors = 0;  // CE_* bits taken (cleared) on the way, as ClearCommError reports them
};

// Reads up to Count bytes that have already arrived at Device (opened for overlapped I/O),
// never waiting for more. Overlapped is the caller's read record (its event manual-reset).
// FALSE on failure (GetLastError tells why; nothing was read).
BOOL ReadArrivedInput(HANDLE Device, void* Buffer, DWORD Count, OVERLAPPED& Overlapped, CommInput& Result);

}  // namespace platform
