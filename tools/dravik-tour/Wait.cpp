// Waiting on the event loop.
#include "tools/dravik-tour/Wait.h"

#include <QTest>

namespace tour {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) { return QTest::qWaitFor(done, timeoutMs); }

}  // namespace tour
