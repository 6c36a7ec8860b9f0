// The serial layer's error reports during a test: platform::ShowErrorMessage is answered by
// recording the message instead of showing a box.
#pragma once
#include <string>
#include <vector>

// Installs the recording hook (any thread may report).
void CaptureShownErrors();
// The messages reported since the last call.
std::vector<std::string> TakeShownErrors();
