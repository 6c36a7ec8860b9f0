// Waiting on the event loop: the window, the session, the port and the simulator's pipe all
// make progress only while Qt's events run, so every wait of a test runs them.
#pragma once
#include <functional>

// Runs the event loop until done() holds or the time-out passes; true when done() held. The
// time-out only guards against a hang: make it generous.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000);

// Runs the event loop for `ms` milliseconds. Only for showing that something does NOT happen.
void Settle(int ms = 300);
