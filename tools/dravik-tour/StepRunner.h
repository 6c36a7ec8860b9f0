// Runs the tour's steps one after another, each within its own bound, and says on stdout what
// each did: "[2/7] connect ... ok (1.4 s): dravik+ 0123". A step that fails ends the tour with a
// message naming it. The steps wait on the event loop with their own bound; a watchdog thread
// also guards each step, so even a step stuck inside one call (a hang in a close, say) ends the
// tour a little after its bound, with the step named, instead of hanging it.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tour {

// What a step did: ok with a one-line account, or failed with the reason.
struct StepResult {
  bool ok = false;
  std::string text;
  static StepResult Ok(std::string text = {}) { return {true, std::move(text)}; }
  static StepResult Failed(std::string why) { return {false, std::move(why)}; }
};

class StepRunner {
public:
  explicit StepRunner(int stepCount);
  ~StepRunner();  // stops the watchdog thread
  StepRunner(const StepRunner&) = delete;
  StepRunner& operator=(const StepRunner&) = delete;

  // Runs `step` with a bound of `timeoutMs` (the step's own waits should use it). Returns
  // whether it succeeded; after a failure the runner runs no further steps.
  bool Run(const std::string& name, int timeoutMs, const std::function<StepResult(int timeoutMs)>& step);

  bool Failed() const { return failed_; }

private:
  // Watchdog thread: ends the process when a step outlives its bound plus a grace period.
  void Watch();

  const int stepCount_;
  int index_ = 0;
  bool failed_ = false;

  std::mutex lock_;                 // guards the three fields below, with the watchdog thread
  std::condition_variable wake_;    // a step began or ended, or the runner is being destroyed
  std::string current_;             // the running step, as the watchdog names it; empty between steps
  std::chrono::steady_clock::time_point deadline_;  // when the watchdog gives up on it
  bool stop_ = false;               // the destructor asks the watchdog to end
  std::thread watchdog_;            // runs Watch(); joined by the destructor
};

}  // namespace tour
