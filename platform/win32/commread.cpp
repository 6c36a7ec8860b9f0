// Arrived input on Windows: ClearCommError for the errors and the input count, then one
// overlapped ReadFile of what is there.
#include <algorithm>

#include "platform/commread.h"

namespace platform {

BOOL ReadArrivedInput(HANDLE Device, void* Buffer, DWORD Count, OVERLAPPED& Overlapped, CommInput& Result) {
  Result = CommInput{};
  DWORD errors = 0;
  COMSTAT status{};
  // ClearCommError: FALSE on failure (GetLastError).
  if (!ClearCommError(Device, &errors, &status)) return FALSE;
  Result.Errors = errors;
  const DWORD take = std::min(Count, status.cbInQue);
  if (take == 0) {
    Result.Left = status.cbInQue;
    return TRUE;
  }
  DWORD read = 0;
  // ReadFile: FALSE with ERROR_IO_PENDING while the read runs, FALSE otherwise on failure.
  if (!ReadFile(Device, Buffer, take, &read, &Overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return FALSE;
    // The bytes are there already, so this wait ends at once; closing the device ends it too.
    // GetOverlappedResult: FALSE on failure (GetLastError).
    const BOOL done = GetOverlappedResult(Device, &Overlapped, &read, TRUE);
    ResetEvent(Overlapped.hEvent);  // FALSE only for a bad handle: nothing to undo
    if (!done) return FALSE;
  }
  Result.Read = read;
  Result.Left = status.cbInQue - std::min(status.cbInQue, read);
  return TRUE;
}

}  // namespace platform
