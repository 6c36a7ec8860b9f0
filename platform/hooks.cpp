// The show-error and prompt-for-port hooks. An error shown from a thread other than the one that
// installed the show-error hook travels to that thread as a message to a hidden window owned by
// it; the caller does not wait. Portable: uses only the Win32 names.
#include "platform/hooks.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/winapi.h"

namespace platform {
namespace {

constexpr UINT kShowPendingError = WM_USER + 0x101;  // wParam: id of the text in `pending`
constexpr UINT kRetireWindow = WM_USER + 0x102;      // a replaced hook's window ends itself
constexpr const char* kClassName = "dravikErrorHookWindow";

struct PendingError {
  HWND window;          // the window the text was posted to
  std::string message;
};

struct HookState {
  std::mutex mutex;                              // guards every field below
  std::shared_ptr<const ShowErrorHook> showError;  // null: the default
  DWORD showErrorThread = 0;                     // the thread that installed showError
  HWND window = nullptr;                         // owned by showErrorThread
  std::map<WPARAM, PendingError> pending;        // texts posted but not yet shown
  WPARAM nextId = 1;
  std::shared_ptr<const PromptForPortHook> promptForPort;  // null: the default
};

HookState& State() {
  static HookState* state = new HookState;  // outlives static teardown
  return *state;
}

void DefaultShowError(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());  // failure to write to stderr is not reportable
}

void ShowWith(const std::shared_ptr<const ShowErrorHook>& hook, const std::string& message) {
  if (hook && *hook) (*hook)(message);
  else DefaultShowError(message);
}

// Takes the texts still queued for `window` and shows them through whatever hook is current.
void RerouteOrphans(HWND window) {
  HookState& state = State();
  std::vector<std::string> orphans;
  {
    std::lock_guard lock(state.mutex);
    for (auto it = state.pending.begin(); it != state.pending.end();) {
      if (it->second.window == window) {
        orphans.push_back(std::move(it->second.message));
        it = state.pending.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const std::string& text : orphans) ShowErrorMessage(text);
}

LRESULT CALLBACK HookWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HookState& state = State();
  if (message == kShowPendingError) {
    std::unique_lock lock(state.mutex);
    auto it = state.pending.find(wParam);
    if (it == state.pending.end()) return 0;
    const std::string text = std::move(it->second.message);
    state.pending.erase(it);
    auto hook = state.showError;
    lock.unlock();
    ShowWith(hook, text);
    return 0;
  }
  if (message == kRetireWindow) {
    DestroyWindow(window);  // FALSE only if already destroyed
    RerouteOrphans(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden window owned by the calling thread, or nullptr when none can be made.
HWND CreateHookWindow() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = HookWindowProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = kClassName;
    RegisterClassA(&cls);  // 0 on failure; CreateWindowExA then fails and the hook runs inline
  });
  return CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

void SetShowErrorHook(ShowErrorHook hook) {
  HookState& state = State();
  const DWORD self = GetCurrentThreadId();
  auto shared = hook ? std::make_shared<const ShowErrorHook>(std::move(hook)) : nullptr;
  HWND oldWindow;
  DWORD oldThread;
  {
    std::lock_guard lock(state.mutex);
    oldWindow = state.window;
    oldThread = state.showErrorThread;
  }
  // The window must belong to the installing thread: reuse it only when that is still so.
  HWND newWindow = nullptr;
  if (shared) newWindow = oldWindow && oldThread == self ? oldWindow : CreateHookWindow();
  {
    std::lock_guard lock(state.mutex);
    state.showError = shared;
    state.showErrorThread = shared ? self : 0;
    state.window = newWindow;
  }
  if (oldWindow && oldWindow != newWindow) {
    if (oldThread == self) HookWindowProc(oldWindow, kRetireWindow, 0, 0);
    else if (!PostMessageA(oldWindow, kRetireWindow, 0, 0)) RerouteOrphans(oldWindow);  // its thread has ended
  }
}

void ShowErrorMessage(const std::string& message) {
  HookState& state = State();
  std::unique_lock lock(state.mutex);
  auto hook = state.showError;
  if (!hook || state.showErrorThread == GetCurrentThreadId() || state.window == nullptr) {
    lock.unlock();
    ShowWith(hook, message);
    return;
  }
  const WPARAM id = state.nextId++;
  const HWND window = state.window;
  state.pending.emplace(id, PendingError{window, message});
  lock.unlock();
  if (!PostMessageA(window, kShowPendingError, id, 0)) {  // FALSE: the installing thread has ended
    lock.lock();
    state.pending.erase(id);
    lock.unlock();
    DefaultShowError(message);
  }
}

void SetPromptForPortHook(PromptForPortHook hook) {
  auto shared = hook ? std::make_shared<const PromptForPortHook>(std::move(hook)) : nullptr;
  std::lock_guard lock(State().mutex);
  State().promptForPort = std::move(shared);
}

bool PromptForPort(int& portNumber) {
  std::shared_ptr<const PromptForPortHook> hook;
  {
    std::lock_guard lock(State().mutex);
    hook = State().promptForPort;
  }
  if (hook && *hook) return (*hook)(portNumber);
  std::fprintf(stderr, "No port selection is available here; the port prompt was cancelled.\n");
  return false;
}

}  // namespace platform
