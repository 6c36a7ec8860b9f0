// A hook of the platform's events for the comm devices: a thread about to wait on an event
// (WaitForSingleObject, WaitForMultipleObjects, also with no time-out) first calls the event's
// hook. A device whose pending event wait nobody watches yet sets one on the wait's OVERLAPPED
// event, so its helper thread is woken to watch the tty only when someone waits on that event;
// a thread that waits in GetOverlappedResult watches the tty itself and needs no helper.
#pragma once
#include "platform/linux/wintypes.h"

namespace platform::detail {

using EventWaitHook = void (*)(HANDLE argument);

// Sets (Hook non-null) or clears the hook of Event; false for a handle that is no event. The
// hook runs on the waiting thread with no platform lock held, at most once per setting.
bool SetEventWaitHook(HANDLE Event, EventWaitHook Hook, HANDLE Argument);

}  // namespace platform::detail
