// The tour's step runner and its watchdog.
#include "tools/dravik-tour/StepRunner.h"

#include <cstdio>
#include <cstdlib>

namespace tour {

namespace {

// How long past its own bound a step may run before the watchdog ends the process: the step's
// own waits report a time-out first, with a better message.
constexpr auto kGrace = std::chrono::seconds(15);

}  // namespace

StepRunner::StepRunner(int stepCount) : stepCount_(stepCount), watchdog_([this] { Watch(); }) {}

StepRunner::~StepRunner() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  watchdog_.join();
}

bool StepRunner::Run(const std::string& name, int timeoutMs, const std::function<StepResult(int timeoutMs)>& step) {
  if (failed_) return false;
  ++index_;
  std::printf("[%d/%d] %s ... ", index_, stepCount_, name.c_str());
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  {
    std::lock_guard<std::mutex> guard(lock_);
    current_ = "step " + std::to_string(index_) + "/" + std::to_string(stepCount_) + " \"" + name + "\"";
    deadline_ = start + std::chrono::milliseconds(timeoutMs) + kGrace;
  }
  wake_.notify_all();

  StepResult result;
  try {
    result = step(timeoutMs);
  } catch (const std::exception& e) {
    result = StepResult::Failed(std::string("unexpected error: ") + e.what());
  }

  {
    std::lock_guard<std::mutex> guard(lock_);
    current_.clear();
  }
  wake_.notify_all();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result.ok) {
    std::printf("ok (%.1f s)%s%s\n", seconds, result.text.empty() ? "" : ": ", result.text.c_str());
  } else {
    failed_ = true;
    std::printf("FAILED (%.1f s)\n", seconds);
    std::fprintf(stderr, "dravik-tour: step %d/%d \"%s\" failed: %s\n", index_, stepCount_, name.c_str(),
                 result.text.c_str());
  }
  std::fflush(stdout);
  return result.ok;
}

// Runs on the watchdog thread.
void StepRunner::Watch() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!stop_) {
    if (current_.empty()) {
      wake_.wait(guard);
      continue;
    }
    if (wake_.wait_until(guard, deadline_) == std::cv_status::timeout && !current_.empty() && !stop_ &&
        std::chrono::steady_clock::now() >= deadline_) {
      std::fprintf(stderr, "\ndravik-tour: %s did not finish in time: giving up\n", current_.c_str());
      std::fflush(stderr);
      std::_Exit(1);  // the simulator's stdin closes with us, and it ends too
    }
  }
}

}  // namespace tour
