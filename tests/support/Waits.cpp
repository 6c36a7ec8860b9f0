// Waits that run the event loop.
#include "tests/support/Waits.h"

#include <QTest>

bool WaitFor(const std::function<bool()>& done, int timeoutMs) { return QTest::qWaitFor(done, timeoutMs); }

void Settle(int ms) { QTest::qWait(ms); }
