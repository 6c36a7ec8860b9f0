// Recording the serial layer's error reports.
#include "tests/support/ErrorCapture.h"

#include <mutex>

#include "platform/hooks.h"

namespace {

std::mutex errorsMutex;
std::vector<std::string> shownErrors;  // guarded by errorsMutex

}  // namespace

void CaptureShownErrors() {
  platform::SetShowErrorHook([](const std::string& message) {
    std::lock_guard lock(errorsMutex);
    shownErrors.push_back(message);
  });
}

std::vector<std::string> TakeShownErrors() {
  std::lock_guard lock(errorsMutex);
  std::vector<std::string> taken;
  taken.swap(shownErrors);
  return taken;
}
