// Win32 events, waits, sleeping and thread ids for the POSIX implementation: condition-variable
// events with the Win32 semantics (manual or auto reset; an auto-reset event releases exactly
// one waiter; WaitForMultipleObjects returns the lowest signalled index).
#pragma once
#include "platform/linux/wintypes.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xffffffffu
#define MAXIMUM_WAIT_OBJECTS 64

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId();
