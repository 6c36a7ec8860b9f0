// The Qt glue of the message pump: a QObject living in the user-interface thread receives one
// queued call per burst of wake-ups and pumps that thread's pending messages. The hand-off
// between the waking thread and the pump uses only standard-library primitives.
#include "platform/qt/qtpump.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/msgpump.h"
#include "platform/winapi.h"

namespace platform {
namespace {

struct PumpState {
  std::mutex mutex;                // guards agent
  QObject* agent = nullptr;        // the pump's object in the UI thread; null once it is gone
  std::atomic<bool> scheduled{false};  // a queued pump call is on its way (coalesces wakes)
  DWORD uiThread = 0;              // the thread whose messages the Qt loop pumps
};

// Lives in the user-interface thread; clears the shared state when Qt destroys it with the
// application, so a late wake from a worker thread finds nothing to call.
class PumpAgent final : public QObject {
public:
  explicit PumpAgent(std::shared_ptr<PumpState> state) : QObject(QCoreApplication::instance()), state_(std::move(state)) {}
  ~PumpAgent() override {
    std::lock_guard lock(state_->mutex);
    if (state_->agent == this) state_->agent = nullptr;
  }

  // Runs on the user-interface thread from the Qt loop.
  void Pump() {
    state_->scheduled = false;  // wakes from here on schedule another call
    PumpPendingMessages();
  }

private:
  std::shared_ptr<PumpState> state_;
};

// Called from any thread; must not block: it only posts a Qt event, at most one at a time.
void Schedule(const std::shared_ptr<PumpState>& state) {
  if (state->scheduled.exchange(true)) return;
  std::lock_guard lock(state->mutex);  // keeps the agent alive while the event is posted
  if (!state->agent) {
    state->scheduled = false;
    return;
  }
  auto* agent = static_cast<PumpAgent*>(state->agent);
  QMetaObject::invokeMethod(agent, [agent] { agent->Pump(); }, Qt::QueuedConnection);
}

}  // namespace

void InstallQtMessagePump() {
  auto state = std::make_shared<PumpState>();
  state->uiThread = GetCurrentThreadId();
  state->agent = new PumpAgent(state);  // owned by the QCoreApplication
  SetMessageWakeHook([state](DWORD threadId) {
    if (threadId == state->uiThread) Schedule(state);
  });
  Schedule(state);  // whatever arrived before the hook was in place
}

}  // namespace platform
