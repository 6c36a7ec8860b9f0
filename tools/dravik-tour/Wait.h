// Waiting on the event loop: the window, its port and the simulator's pipe all make progress
// only while Qt's events run, so every wait of the tour runs them.
#pragma once
#include <functional>

namespace tour {

// Runs the event loop until done() holds or `timeoutMs` has passed; true when done() held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace tour
