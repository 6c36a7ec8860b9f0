// Waits that run the event loop (no Qt Test: the Windows build's Qt has none, and the guided
// tour waits through these too).
#include "tests/support/Waits.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  // Checked first: running events could undo a condition that already holds.
  if (done()) return true;
  const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
  // done() may change without an event of this thread (a worker thread, the simulator's pipe):
  // the tick bounds each wait for events to 10 ms, so it is looked at again soon enough.
  QTimer tick;
  tick.start(10);
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Objects deleted later from outside any event loop (a test's body) go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (done()) return true;
  } while (!deadline.hasExpired());
  return done();
}

void Settle(int ms) {
  WaitFor([] { return false; }, ms);
}
