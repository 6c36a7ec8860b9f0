// The message pump on Windows: the system queues the messages and wakes its own message loop, so
// the wake hook is kept but never called. The pump takes only what was pending when it began:
// it posts itself a marker message and handles messages until it takes that marker, so a
// handler that posts again (a close-pending message does, until its work is over) leaves the
// new message for the next pump, as the Linux pump does. Sent messages are handled inside
// PeekMessage, ahead of every posted one.
#include "platform/msgpump.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform {

void SetMessageWakeHook(MessageWakeHook hook) {
  static std::mutex mutex;
  static std::shared_ptr<MessageWakeHook> kept;
  std::lock_guard lock(mutex);
  kept = std::make_shared<MessageWakeHook>(std::move(hook));
}

namespace {

UINT MarkerMessage() {
  // A message number of its own for the process (0 only when the system is out of atoms).
  static const UINT marker = RegisterWindowMessageA("dravikPC.PumpMarker");
  return marker;
}

// The pumps running on this thread, innermost last, each with whether its marker has come: a
// handler may pump again, and the inner pump may take an outer pump's marker on the way to its
// own (everything before it is handled by then).
struct ActivePump {
  WPARAM id;
  bool markerSeen;
};
thread_local std::vector<ActivePump> activePumps;
thread_local WPARAM nextPumpId = 0;

// Whether `msg` is a marker; notes it for the pump it belongs to.
bool TakeMarker(const MSG& msg) {
  if (msg.hwnd != nullptr || msg.message != MarkerMessage() || MarkerMessage() == 0) return false;
  for (ActivePump& pump : activePumps)
    if (pump.id == msg.wParam) pump.markerSeen = true;
  return true;
}

}  // namespace

// Takes messages one at a time until this pump's marker comes; a WM_QUIT it takes is posted
// again and ends it. Without a marker (none could be posted) it takes what is there.
int PumpPendingMessages() {
  const WPARAM id = ++nextPumpId;
  // FALSE when the thread's queue is full; then the pump empties the queue instead.
  const bool marked = MarkerMessage() != 0 && PostThreadMessageA(GetCurrentThreadId(), MarkerMessage(), id, 0);
  activePumps.push_back({id, false});
  int handled = 0;
  MSG msg;
  // FALSE: nothing pending (sent messages are handled inside).
  while (!(marked && activePumps.back().markerSeen) && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (TakeMarker(msg)) continue;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ++handled;
  }
  const bool seen = activePumps.back().markerSeen;
  activePumps.pop_back();
  // A quit ended the pump before its marker: take the marker out, or the next pump would stop at it.
  if (marked && !seen) {
    PeekMessageA(&msg, reinterpret_cast<HWND>(-1), MarkerMessage(), MarkerMessage(), PM_REMOVE);
  }
  return handled;
}

}  // namespace platform
