// The two hooks through which the layers below the program reach the user without depending on
// widgets. The program installs both at start; tests install their own. The defaults write to
// stderr and answer "cancel".
#pragma once
#include <functional>
#include <string>

namespace platform {

// Shows an error message to the user (the application's standard error report). The hook runs
// on the thread that installed it; ShowErrorMessage may be called from any thread and, off that
// thread, posts the message there without waiting.
using ShowErrorHook = std::function<void(const std::string& message)>;
void SetShowErrorHook(ShowErrorHook hook);
void ShowErrorMessage(const std::string& message);

// Asks the user to pick a serial port. Returns true with the chosen number in `portNumber`, or
// false when the user cancelled. The hook may throw (for example a conversion error).
using PromptForPortHook = std::function<bool(int& portNumber)>;
void SetPromptForPortHook(PromptForPortHook hook);
bool PromptForPort(int& portNumber);

}  // namespace platform
