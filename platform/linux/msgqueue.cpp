// The per-thread message queues: posting, sending (direct on the owning thread, queued with a
// time-out from any other), retrieving (PeekMessageA, GetMessageA, WaitMessage), dispatching,
// and the pump and wake hook that let a host event loop drive a thread's messages.
//
// A sent message waits in the receiver's queue until the receiver looks for messages; pending
// sent messages are handled inside Peek/Get/WaitMessage and the pump before any posted message.
// A sender that gives up withdraws its message, so it is never handled late.
#include <atomic>
#include <chrono>
#include <optional>
#include <condition_variable>
#include <deque>
#include <unordered_map>
#include <vector>

#include "platform/linux/msgqueue.h"
#include "platform/linux/parker.h"
#include "platform/linux/winsync.h"
#include "platform/msgpump.h"

namespace platform::detail {
namespace {

struct ThreadQueue;

// A message sent from another thread, waiting for or being handled by the owning thread.
struct SentMessage {
  enum class State { Queued, Running, Done, Failed };
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::shared_ptr<ThreadQueue> sender;  // woken when the state leaves Queued/Running
  State state = State::Queued;          // (MessageMutex; final once finished is set)
  LRESULT result = 0;                   // valid once Done (MessageMutex; as state)
  std::atomic<bool> finished{false};    // state is Done or Failed for good
  Parker* senderParker = nullptr;       // a blocking sender sleeps here instead (fixed)
};

struct PostedMessage {
  MSG msg;
  uint64_t sequence;  // arrival order within the queue
};

// The messages of one thread. All fields are guarded by MessageMutex().
struct ThreadQueue {
  explicit ThreadQueue(DWORD id) : threadId(id) {}
  const DWORD threadId;
  bool alive = true;                                  // false once the thread has ended
  std::deque<std::shared_ptr<SentMessage>> sent;      // oldest first
  std::deque<PostedMessage> posted;                   // oldest first
  uint64_t nextSequence = 1;
  bool quitPending = false;                           // PostQuitMessage seen, WM_QUIT not yet taken
  int quitCode = 0;
  bool fresh = false;                                 // something arrived since the thread last looked
  std::vector<std::weak_ptr<Window>> windows;         // windows the thread owns
  std::condition_variable wake;                       // the owning thread waits here (only it)
};

struct MessageState {
  std::mutex mutex;
  std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;  // (mutex)
  std::mutex hookMutex;                                            // guards wakeHook only
  std::shared_ptr<const platform::MessageWakeHook> wakeHook;
};

MessageState& State() {
  static MessageState* state = new MessageState;  // outlives static teardown and thread exits
  return *state;
}

void ThreadEnded(DWORD threadId);

// Ends the thread's message queue when the thread ends: its windows go out of service and
// senders waiting on it are released.
struct QueueGuard {
  DWORD threadId = 0;
  ~QueueGuard() {
    if (threadId != 0) ThreadEnded(threadId);
  }
};
thread_local QueueGuard tQueueGuard;

// The calling thread's queue, created on first use. MessageMutex held.
std::shared_ptr<ThreadQueue> CurrentQueueLocked() {
  const DWORD id = GetCurrentThreadId();
  auto& queues = State().queues;
  auto it = queues.find(id);
  if (it != queues.end()) return it->second;
  auto queue = std::make_shared<ThreadQueue>(id);
  queues.emplace(id, queue);
  tQueueGuard.threadId = id;
  return queue;
}

std::shared_ptr<ThreadQueue> QueueOfLocked(DWORD threadId) {
  auto& queues = State().queues;
  auto it = queues.find(threadId);
  return it == queues.end() ? nullptr : it->second;
}

// Tells the host loop of `threadId` that it has messages. Called without MessageMutex.
void CallWakeHook(DWORD threadId) {
  std::shared_ptr<const platform::MessageWakeHook> hook;
  {
    std::lock_guard lock(State().hookMutex);
    hook = State().wakeHook;
  }
  if (hook && *hook) (*hook)(threadId);
}

void MarkArrivedLocked(ThreadQueue& queue) {
  queue.fresh = true;
  queue.wake.notify_all();
}

// Makes the outcome final and wakes the sender. The parker's wake-up may come under the lock: a
// blocking sender reads the outcome without it.
void FinishSentLocked(SentMessage& sent, SentMessage::State state, LRESULT result) {
  sent.state = state;
  sent.result = result;
  sent.finished.store(true, std::memory_order_release);
  if (sent.senderParker) sent.senderParker->Wake();
  else sent.sender->wake.notify_all();
}

void ThreadEnded(DWORD threadId) {
  std::vector<HWND> handles;
  {
    std::lock_guard lock(MessageMutex());
    std::shared_ptr<ThreadQueue> queue = QueueOfLocked(threadId);
    if (!queue) return;
    State().queues.erase(threadId);
    queue->alive = false;
    for (auto& sent : queue->sent) FinishSentLocked(*sent, SentMessage::State::Failed, 0);
    queue->sent.clear();
    queue->posted.clear();
    for (auto& weak : queue->windows) {
      if (auto window = weak.lock(); window && !window->destroyed) {
        DetachWindowLocked(*window);
        handles.push_back(window->handle);
      }
    }
    queue->windows.clear();
  }
  for (HWND handle : handles) RemoveHandle(handle);
}

// Handles the oldest pending sent message of `queue` (the calling thread's). Called and returns
// with `lock` held; releases it while the window procedure runs.
void HandleOneSent(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
  std::shared_ptr<SentMessage> sent = queue.sent.front();
  queue.sent.pop_front();
  sent->state = SentMessage::State::Running;
  lock.unlock();
  // The sender is released however the procedure ends, even by an exception.
  struct Completion {
    std::unique_lock<std::mutex>& lock;
    SentMessage& sent;
    LRESULT result = 0;
    bool handled = false;
    ~Completion() {
      if (!lock.owns_lock()) lock.lock();
      if (sent.senderParker) {
        FinishSentLocked(sent, handled ? SentMessage::State::Done : SentMessage::State::Failed, result);
        return;
      }
      sent.state = handled ? SentMessage::State::Done : SentMessage::State::Failed;
      sent.result = result;
      sent.finished.store(true, std::memory_order_release);
      // The sender is woken once the lock is free, so it does not wake only to wait for it. Its
      // queue stays alive through the message's reference.
      const std::shared_ptr<ThreadQueue> sender = sent.sender;
      lock.unlock();
      sender->wake.notify_all();
      lock.lock();
    }
  } completion{lock, *sent};
  if (auto object = FindHandle(sent->window); object && object->kind() == HandleKind::Window) {
    auto window = std::static_pointer_cast<Window>(object);
    completion.result = window->procedure()(sent->window, sent->message, sent->wParam, sent->lParam);
    completion.handled = true;
  }
}

void HandleAllSent(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
  while (!queue.sent.empty()) HandleOneSent(lock, queue);
}

bool Matches(const MSG& msg, HWND filter, UINT filterMin, UINT filterMax) {
  if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
    if (msg.hwnd != nullptr) return false;  // thread messages only
  } else if (filter != nullptr && msg.hwnd != filter) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

// Looks for the next posted message (WM_QUIT last, as Windows returns it only once the posted
// messages are gone). `sequenceLimit` leaves out messages that arrived after it. MessageMutex held.
bool TakePostedLocked(ThreadQueue& queue, MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove,
                      uint64_t sequenceLimit = UINT64_MAX) {
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (it->sequence > sequenceLimit) break;
    if (!Matches(it->msg, filter, filterMin, filterMax)) continue;
    if (out) *out = it->msg;
    if (remove) queue.posted.erase(it);
    return true;
  }
  if (queue.quitPending) {
    MSG quit{};
    quit.message = WM_QUIT;
    quit.wParam = static_cast<WPARAM>(queue.quitCode);
    if (Matches(quit, filter, filterMin, filterMax)) {
      if (out) *out = quit;
      if (remove) queue.quitPending = false;
      return true;
    }
  }
  return false;
}

DWORD MessageTime() {
  using namespace std::chrono;
  return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

BOOL PostToQueue(DWORD threadId, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard lock(MessageMutex());
    std::shared_ptr<ThreadQueue> queue =
        threadId == GetCurrentThreadId() ? CurrentQueueLocked() : QueueOfLocked(threadId);
    if (!queue || !queue->alive) {
      SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (window != nullptr) {  // the window may have been destroyed since the caller found it
      auto object = FindHandle(window);
      if (!object || object->kind() != HandleKind::Window || static_cast<Window&>(*object).destroyed) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
      }
    }
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = MessageTime();
    queue->posted.push_back({msg, queue->nextSequence++});
    MarkArrivedLocked(*queue);
  }
  CallWakeHook(threadId);
  return TRUE;
}

}  // namespace

std::mutex& MessageMutex() { return State().mutex; }

void AttachWindowToThread(const std::shared_ptr<Window>& window) {
  std::lock_guard lock(MessageMutex());
  CurrentQueueLocked()->windows.push_back(window);
}

void DetachWindowLocked(Window& window) {
  window.destroyed = true;
  --window.windowClass->windowCount;
  std::shared_ptr<ThreadQueue> queue = QueueOfLocked(window.owner);
  if (!queue) return;
  std::erase_if(queue->posted, [&](const PostedMessage& p) { return p.msg.hwnd == window.handle; });
  std::erase_if(queue->sent, [&](const std::shared_ptr<SentMessage>& sent) {
    if (sent->window != window.handle) return false;
    FinishSentLocked(*sent, SentMessage::State::Failed, 0);
    return true;
  });
  std::erase_if(queue->windows, [&](const std::weak_ptr<Window>& weak) {
    auto live = weak.lock();
    return !live || live.get() == &window;
  });
}

}  // namespace platform::detail

using namespace platform::detail;

LRESULT SendMessageTimeoutA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                            PDWORD_PTR result) {
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return 0;
  if (window->owner == GetCurrentThreadId()) {  // same thread: a plain call
    const LRESULT value = window->procedure()(handle, message, wParam, lParam);
    if (result) *result = static_cast<DWORD_PTR>(value);
    return TRUE;
  }

  std::unique_lock lock(MessageMutex());
  std::shared_ptr<ThreadQueue> self = CurrentQueueLocked();
  std::shared_ptr<ThreadQueue> target = QueueOfLocked(window->owner);
  if (!target || !target->alive || window->destroyed) {
    SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  auto sent = std::make_shared<SentMessage>();
  sent->window = handle;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  sent->sender = self;
  // A blocking sender handles nothing meanwhile: it sleeps on its parker and reads the outcome
  // without the lock, so the receiver's thread and it do not meet on the lock at the hand-off.
  if (flags & SMTO_BLOCK) sent->senderParker = &ThisThreadParker();
  target->sent.push_back(sent);
  MarkArrivedLocked(*target);
  lock.unlock();
  CallWakeHook(window->owner);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
  const auto finished = [&] { return sent->finished.load(std::memory_order_acquire); };
  const auto timedOut = [&] {
    if (sent->state == SentMessage::State::Queued) {  // withdraw it: never handled late
      std::erase(target->sent, sent);
      sent->state = SentMessage::State::Failed;
      sent->finished.store(true, std::memory_order_release);
    }
    // A message already being handled runs to its end; its result is dropped.
    SetLastErrorValue(ERROR_TIMEOUT);
    return 0;
  };
  if (sent->senderParker) {
    std::optional<std::chrono::steady_clock::time_point> limit;
    if (timeout != INFINITE) limit = deadline;
    if (!sent->senderParker->Sleep(finished, limit)) {
      lock.lock();
      if (!finished()) return timedOut();
      lock.unlock();
    }
  } else {
    lock.lock();
    while (!finished()) {
      // Without SMTO_BLOCK the sender handles messages sent to itself meanwhile, so two threads
      // sending to each other cannot deadlock.
      if (!self->sent.empty()) {
        HandleOneSent(lock, *self);
        continue;
      }
      if (timeout == INFINITE) {
        self->wake.wait(lock);
        continue;
      }
      if (self->wake.wait_until(lock, deadline) == std::cv_status::timeout && !finished()) return timedOut();
    }
    lock.unlock();
  }
  // Final now: read without the lock.
  if (sent->state == SentMessage::State::Failed) {
    SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (result) *result = static_cast<DWORD_PTR>(sent->result);
  return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
  return static_cast<LRESULT>(result);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (handle == nullptr) return PostToQueue(GetCurrentThreadId(), nullptr, message, wParam, lParam);
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return FALSE;
  return PostToQueue(window->owner, handle, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  {
    std::lock_guard lock(MessageMutex());
    std::shared_ptr<ThreadQueue> queue = CurrentQueueLocked();
    queue->quitPending = true;
    queue->quitCode = exitCode;
    MarkArrivedLocked(*queue);
  }
  CallWakeHook(GetCurrentThreadId());
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  std::unique_lock lock(MessageMutex());
  std::shared_ptr<ThreadQueue> queue = CurrentQueueLocked();
  HandleAllSent(lock, *queue);
  queue->fresh = false;
  return TakePostedLocked(*queue, msg, window, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) {
    SetLastErrorValue(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::unique_lock lock(MessageMutex());
  std::shared_ptr<ThreadQueue> queue = CurrentQueueLocked();
  for (;;) {
    HandleAllSent(lock, *queue);
    queue->fresh = false;
    if (TakePostedLocked(*queue, msg, window, filterMin, filterMax, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
    queue->wake.wait(lock, [&] { return queue->fresh || !queue->sent.empty(); });
  }
}

// Returns once something has arrived that the thread has not looked at yet; messages sent to the
// thread meanwhile are handled here.
BOOL WaitMessage() {
  std::unique_lock lock(MessageMutex());
  std::shared_ptr<ThreadQueue> queue = CurrentQueueLocked();
  for (;;) {
    HandleAllSent(lock, *queue);
    if (queue->fresh) {
      queue->fresh = false;
      return TRUE;
    }
    queue->wake.wait(lock, [&] { return queue->fresh || !queue->sent.empty(); });
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }  // no keyboard input to translate

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;  // thread messages have no procedure
  std::shared_ptr<Window> window = FindWindow(msg->hwnd);
  if (!window) return 0;
  if (window->owner != GetCurrentThreadId()) {
    SetLastErrorValue(ERROR_ACCESS_DENIED);
    return 0;
  }
  return window->procedure()(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

namespace platform {

void SetMessageWakeHook(MessageWakeHook hook) {
  auto shared = hook ? std::make_shared<const MessageWakeHook>(std::move(hook)) : nullptr;
  std::lock_guard lock(State().hookMutex);
  State().wakeHook = std::move(shared);
}

// Takes only the posted messages that were queued when it started, so a handler that posts again
// (a message re-posting itself until some work is done) cannot keep the host loop in here.
// WM_QUIT stays queued (as if taken and posted again) and ends the pump.
int PumpPendingMessages() {
  int handled = 0;
  std::unique_lock lock(MessageMutex());
  std::shared_ptr<ThreadQueue> queue = CurrentQueueLocked();
  const uint64_t limit = queue->nextSequence - 1;
  queue->fresh = false;
  for (;;) {
    if (!queue->sent.empty()) {
      HandleOneSent(lock, *queue);
      ++handled;
      continue;
    }
    MSG msg;
    if (!TakePostedLocked(*queue, &msg, nullptr, 0, 0, false, limit) || msg.message == WM_QUIT) break;
    TakePostedLocked(*queue, nullptr, nullptr, 0, 0, true, limit);
    lock.unlock();
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ++handled;
    lock.lock();
  }
  return handled;
}

}  // namespace platform
