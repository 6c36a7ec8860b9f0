// Internals of the hidden-window message system: window classes, windows and the per-thread
// message queues. Only the files implementing winmsg.h and msgpump.h include this.
//
// Lock: MessageMutex() guards every queue, every window's destroyed flag and extra values, and
// the class registry. It is never held while a window procedure or the wake hook runs.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/handles.h"
#include "platform/linux/winmsg.h"

namespace platform::detail {

std::mutex& MessageMutex();

// A registered window class. The registry keeps it until UnregisterClassA; windows keep it alive.
struct WindowClass {
  std::string name;      // as registered; looked up without regard to case
  WNDCLASSA info{};      // lpszClassName/lpszMenuName are not kept (they point into caller memory)
  ATOM atom = 0;
  int windowCount = 0;   // live windows of the class (MessageMutex)
};

class Window final : public HandleObject {
public:
  Window(std::shared_ptr<WindowClass> cls, DWORD owner)
      : HandleObject(HandleKind::Window), windowClass(std::move(cls)), owner(owner) {}

  const std::shared_ptr<WindowClass> windowClass;
  const DWORD owner;                     // the thread that created it and runs its procedure
  HWND handle = nullptr;                 // its own handle, set once right after creation
  std::atomic<LONG_PTR> userData{0};     // GWLP_USERDATA
  std::map<int, LONG_PTR> extra;         // the class's extra window values by offset (MessageMutex)
  bool destroying = false;               // DestroyWindow has begun (MessageMutex)
  bool destroyed = false;                // (MessageMutex)

  WNDPROC procedure() const { return windowClass->info.lpfnWndProc; }
};

// The live window behind a handle, or nullptr with ERROR_INVALID_WINDOW_HANDLE set.
std::shared_ptr<Window> FindWindow(HWND window);

// Registers a new window with its owner's (the calling thread's) queue.
void AttachWindowToThread(const std::shared_ptr<Window>& window);

// Takes a window out of service: marks it destroyed, drops its posted messages and releases the
// senders of its queued sent messages (they fail with ERROR_INVALID_WINDOW_HANDLE). Called with
// MessageMutex held; the handle itself is removed by the caller.
void DetachWindowLocked(Window& window);

// Finds a class by name (any case) or by atom (a "name" below 0x10000). MessageMutex held.
std::shared_ptr<WindowClass> FindClassLocked(LPCSTR nameOrAtom);

}  // namespace platform::detail
