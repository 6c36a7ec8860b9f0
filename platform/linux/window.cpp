// Windows: CreateWindowExA, DestroyWindow, IsWindow, the window values and DefWindowProcA.
#include "platform/linux/msgqueue.h"
#include "platform/linux/winsync.h"

namespace platform::detail {

std::shared_ptr<Window> FindWindow(HWND window) {
  std::shared_ptr<HandleObject> object = FindHandle(window);
  if (object && object->kind() == HandleKind::Window) {
    auto found = std::static_pointer_cast<Window>(object);
    std::lock_guard lock(MessageMutex());
    if (!found->destroyed) return found;
  }
  SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
  return nullptr;
}

}  // namespace platform::detail

using namespace platform::detail;

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) {
  std::shared_ptr<WindowClass> cls;
  {
    std::lock_guard lock(MessageMutex());
    cls = FindClassLocked(className);
    if (!cls) {
      SetLastErrorValue(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    ++cls->windowCount;
  }
  auto window = std::make_shared<Window>(cls, GetCurrentThreadId());
  HWND handle = InsertHandle(window);
  if (handle == nullptr) {
    std::lock_guard lock(MessageMutex());
    --cls->windowCount;
    return nullptr;
  }
  window->handle = handle;
  AttachWindowToThread(window);
  return handle;
}

// Only the owning thread may destroy a window, as on Windows. The procedure sees WM_DESTROY
// first; afterwards the handle is stale and messages still queued for it are dropped.
BOOL DestroyWindow(HWND handle) {
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return FALSE;
  if (window->owner != GetCurrentThreadId()) {
    SetLastErrorValue(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  {
    std::lock_guard lock(MessageMutex());
    if (window->destroying) return TRUE;  // called again from its own WM_DESTROY
    window->destroying = true;
  }
  window->procedure()(handle, WM_DESTROY, 0, 0);
  {
    std::lock_guard lock(MessageMutex());
    DetachWindowLocked(*window);
  }
  RemoveHandle(handle);
  return TRUE;
}

BOOL IsWindow(HWND handle) {
  std::shared_ptr<HandleObject> object = FindHandle(handle);
  if (!object || object->kind() != HandleKind::Window) return FALSE;
  std::lock_guard lock(MessageMutex());
  return static_cast<Window&>(*object).destroyed ? FALSE : TRUE;
}

// GWLP_USERDATA, or a byte offset into the class's extra window bytes; the value at an offset
// takes sizeof(LONG_PTR) of them, as on Windows (an offset whose value would pass their end is
// invalid).
namespace {
bool ExtraIndexValid(const Window& window, int index) {
  return index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <=
                           static_cast<size_t>(window.windowClass->info.cbWndExtra);
}
}  // namespace

LONG_PTR SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return 0;
  if (index == GWLP_USERDATA) return window->userData.exchange(value);
  if (!ExtraIndexValid(*window, index)) {
    SetLastErrorValue(ERROR_INVALID_INDEX);
    return 0;
  }
  std::lock_guard lock(MessageMutex());
  LONG_PTR& slot = window->extra[index];
  const LONG_PTR previous = slot;
  slot = value;
  return previous;
}

LONG_PTR GetWindowLongPtrA(HWND handle, int index) {
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return 0;
  if (index == GWLP_USERDATA) return window->userData.load();
  if (!ExtraIndexValid(*window, index)) {
    SetLastErrorValue(ERROR_INVALID_INDEX);
    return 0;
  }
  std::lock_guard lock(MessageMutex());
  auto it = window->extra.find(index);
  return it == window->extra.end() ? 0 : it->second;
}

// Hidden windows have no painting, sizing or activation to default: every message yields 0.
LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }
