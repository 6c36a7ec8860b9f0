// The benchmark's wire format, counting pattern and exchange timing.
#include "bench/bench_wire.h"

#include <time.h>

#include <cstdio>
#include <cstring>

namespace bench {

uint64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);  // cannot fail for CLOCK_MONOTONIC
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

void SleepNs(uint64_t ns) {
  timespec ts{static_cast<time_t>(ns / 1'000'000'000u), static_cast<long>(ns % 1'000'000'000u)};
  while (nanosleep(&ts, &ts) != 0) {  // -1 + EINTR: sleep the rest
  }
}

std::string MakeRequest(unsigned seq) {
  char text[kRequestSize + 1];
  std::snprintf(text, sizeof text, "!g01RQ%02X\r", seq & 0xFFu);
  return std::string(text, kRequestSize);
}

std::string MakeStreamRequest() { return std::string("!g01ST00\r", kRequestSize); }

bool IsStreamRequest(const std::string& request) { return request == MakeStreamRequest(); }

std::string MakeReply(const std::string& request) {
  if (request.size() != kRequestSize || request.compare(0, 4, "!g01") != 0 || request.back() != '\r') return {};
  std::string reply = ":01" + request.substr(4, 4) + "01234567\r";
  return reply;
}

void FillPattern(uint64_t offset, uint8_t* out, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const uint64_t at = offset + i;
    out[i] = static_cast<uint8_t>(static_cast<uint32_t>(at >> 2) >> (8 * (at & 3)));
  }
}

void PatternCheck::Feed(const uint8_t* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) Feed(data[i]);
}

ExchangeClock::ExchangeClock(unsigned warmup, unsigned measured) : warmup_(warmup), measured_(measured) {
  latencies_.reserve(measured);
  reply_.reserve(kReplySize);
}

std::string ExchangeClock::NextRequest() {
  std::string request = MakeRequest(sent_++);
  expected_ = MakeReply(request);
  reply_.clear();
  sentAt_ = NowNs();
  return request;
}

bool ExchangeClock::Feed(uint8_t byte) {
  reply_.push_back(static_cast<char>(byte));
  if (byte != '\r') return false;
  const uint64_t now = NowNs();
  if (reply_ != expected_) {
    ++bad_;
    reply_.clear();
    return false;
  }
  if (completed_ >= warmup_) latencies_.push_back(now - sentAt_);
  ++completed_;
  reply_.clear();
  return true;
}

bool StallSchedule::MaybeStall() {
  const uint64_t now = NowNs();
  if (next_ == 0 || now < next_) return false;
  SleepNs(kStallLengthNs);
  ++count_;
  next_ = now + kStallPeriodNs;
  return true;
}

}  // namespace bench
