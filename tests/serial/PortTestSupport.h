// Support for the port component's tests: one QApplication per test executable whose event loop
// also pumps the platform's window messages (as in the program) and which records the serial
// layer's error reports, and the number of threads of the process. Waits, comN links and linked
// ptys come from tests/support.
#pragma once
#include "tests/support/DeviceMap.h"
#include "tests/support/ErrorCapture.h"
#include "tests/support/Waits.h"

// The number of threads of this process. The first call starts and joins one thread first, so
// that helpers the runtime starts with the first thread (a sanitizer's background thread) are
// counted from the start.
int ThreadCount();
