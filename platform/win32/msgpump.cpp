// The message pump on Windows: the system queues the messages and wakes its own message loop, so
// the wake hook is kept but never called; the pump is a PeekMessage loop.
#include "platform/msgpump.h"

#include <memory>
#include <mutex>

namespace platform {

void SetMessageWakeHook(MessageWakeHook hook) {
  static std::mutex mutex;
  static std::shared_ptr<MessageWakeHook> kept;
  std::lock_guard lock(mutex);
  kept = std::make_shared<MessageWakeHook>(std::move(hook));
}

// Takes messages one at a time until none is left; a WM_QUIT it takes is posted again.
int PumpPendingMessages() {
  int handled = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {  // FALSE: nothing pending (sent ones handled inside)
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ++handled;
  }
  return handled;
}

}  // namespace platform
