// Request framing of the simulated instrument.
#include "sim/RequestFramer.h"

namespace sim {

std::vector<std::string> RequestFramer::Feed(std::string_view bytes) {
  std::vector<std::string> frames;
  for (const char c : bytes) {
    if (c == '!') {
      frame_.assign(1, c);  // a new start character restarts the frame
      inFrame_ = true;
    } else if (!inFrame_) {
      continue;
    } else if (c == '\r') {
      frames.push_back(std::move(frame_));
      frame_.clear();
      inFrame_ = false;
    } else if (frame_.size() >= kMaxRequest) {
      frame_.clear();
      inFrame_ = false;
    } else {
      frame_.push_back(c);
    }
  }
  return frames;
}

}  // namespace sim
