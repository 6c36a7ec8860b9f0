// Synchronised method calls: a method handler registered with its synchronise flag runs on the
// user-interface thread while the dispatch thread waits. The call is stored in the dispatch
// thread object and run by a hidden window that belongs to the thread that started the workers.
#include <exception>

#include "platform/hooks.h"
#include "serial/AwWin32.h"

namespace {

constexpr char SyncWindowClass[] = "awDispatcherSyncWindow";
constexpr UINT SyncCallMessage = WM_USER + 1;  // lParam: the TApdDispatcherThread

LRESULT CALLBACK SyncWindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg != SyncCallMessage) return DefWindowProcA(Window, Msg, wParam, lParam);
  // The sending thread object is joined only on this thread, so it outlives this call.
  reinterpret_cast<TApdDispatcherThread*>(lParam)->RunStoredCall();
  return 1;
}

bool SyncWindowClassRegistered() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = SyncWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = SyncWindowClass;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

// User-interface thread (StartThreads).
void TApdWin32Dispatcher::EnsureSyncWindow() {
  if (SyncWindow || !SyncWindowClassRegistered()) return;
  SyncWindow = CreateWindowExA(0, SyncWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
}

// Dispatch thread (DeliverTrigger).
bool TApdWin32Dispatcher::RunSynchronized(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
  TApdDispatcherThread* thread = Threads[tkDispThread].get();
  if (!SyncWindow || !thread || !thread->IsCallingThread()) {
    Method.Code(Method.Self, Msg, wParam, lParam);  // already where it may run
    return true;
  }
  return thread->Synchronize(Method, Msg, wParam, lParam);
}

// Dispatch thread. Waits like a window delivery: at most the trigger send time-out.
bool TApdDispatcherThread::Synchronize(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam,
                                       LPARAM lParam) {
  {
    std::lock_guard call(CallMutex);
    CallMethod = Method;
    CallMsg = Msg;
    CallWParam = wParam;
    CallLParam = lParam;
  }
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(Dispatcher.SyncWindow, SyncCallMessage, 0, reinterpret_cast<LPARAM>(this),
                             SMTO_BLOCK, TriggerSendTimeoutMs, &result) != 0;
}

// User-interface thread.
void TApdDispatcherThread::RunStoredCall() {
  TApdNotifyMethod method;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  {
    std::lock_guard call(CallMutex);
    method = CallMethod;
    msg = CallMsg;
    wParam = CallWParam;
    lParam = CallLParam;
  }
  if (!method.Code) return;
  try {
    method.Code(method.Self, msg, wParam, lParam);
  } catch (const std::exception& e) {
    platform::ShowErrorMessage(e.what());  // never out of a window procedure
  }
}
