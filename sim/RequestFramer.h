// Cuts the byte stream the instrument receives into request frames: from a '!' up to, not
// including, the next carriage return. Bytes outside a frame (line feeds, noise) are dropped,
// a new '!' restarts the frame, and a frame that grows too long is dropped whole.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class RequestFramer {
public:
  static constexpr std::size_t kMaxRequest = 64;  // the longest request is 25 characters

  std::vector<std::string> Feed(std::string_view bytes);

private:
  std::string frame_;
  bool inFrame_ = false;
};

}  // namespace sim
