// Lets a host event loop drive the calling thread's hidden-window messages: the wake hook is
// called (from any thread) whenever a message is queued for a thread, so that thread's loop can
// come back and pump. The program's Qt loop installs one (platform/qt/qtpump.h); tests use a
// plain loop with WaitMessage and PumpPendingMessages.
#pragma once
#include <functional>

#include "platform/winapi.h"

namespace platform {

// Called with the id of the thread that has new messages. Must not block.
using MessageWakeHook = std::function<void(DWORD threadId)>;
void SetMessageWakeHook(MessageWakeHook hook);

// Handles the calling thread's pending messages (sent ones first, then posted ones in order),
// one at a time; returns how many were handled. A WM_QUIT it takes is posted again and ends it.
int PumpPendingMessages();

}  // namespace platform
