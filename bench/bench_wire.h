// What the benchmark's peer and its clients say to each other over the pty, and what every
// client does with the bytes it receives, whatever stack delivers them.
//
// Exchange: the client sends a 9-byte request "!g01RQnn\r" (nn = sequence, two hex digits) and
// the peer answers with a 16-byte reply ":01RQnn01234567\r" echoing the sequence.
// Stream: the client sends "!g01STxx\r"; the peer answers with a stream of counting-pattern
// bytes (little-endian 32-bit word k at offset 4k) whose length the client was told.
// Idle: the client opens the port and waits; any byte from the peer ends it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

inline constexpr std::size_t kRequestSize = 9;
inline constexpr std::size_t kReplySize = 16;

// Monotonic clock in nanoseconds.
uint64_t NowNs();

// The request with sequence number `seq` (mod 256).
std::string MakeRequest(unsigned seq);
// The request that starts a stream.
std::string MakeStreamRequest();
// The peer's reply to one request (kReplySize bytes); empty if `request` is not one.
std::string MakeReply(const std::string& request);
// True for a stream request.
bool IsStreamRequest(const std::string& request);

// Fills `out` with the counting pattern from stream offset `offset` on.
void FillPattern(uint64_t offset, uint8_t* out, std::size_t length);

// Checks a received stream against the counting pattern; counts bytes and wrong bytes.
class PatternCheck {
public:
  // Inlined: the throughput clients call it once per byte.
  void Feed(uint8_t byte) {
    const uint32_t word = static_cast<uint32_t>(received_ >> 2);
    const uint8_t expected = static_cast<uint8_t>(word >> (8 * (received_ & 3)));
    if (byte != expected) ++wrong_;
    ++received_;
  }
  void Feed(const uint8_t* data, std::size_t length);
  uint64_t received() const { return received_; }
  uint64_t wrong() const { return wrong_; }

private:
  uint64_t received_ = 0;
  uint64_t wrong_ = 0;
};

// Assembles replies from received bytes and times each exchange from its send to its reply's
// last byte.
class ExchangeClock {
public:
  ExchangeClock(unsigned warmup, unsigned measured);
  // The next request to send, stamped now.
  std::string NextRequest();
  // Takes one received byte; true when it completed the reply to the outstanding request.
  bool Feed(uint8_t byte);
  bool Done() const { return completed_ >= warmup_ + measured_; }
  // Replies that did not match their request (counted, never timed).
  unsigned BadReplies() const { return bad_; }
  const std::vector<uint64_t>& LatenciesNs() const { return latencies_; }

private:
  unsigned warmup_, measured_;
  unsigned sent_ = 0, completed_ = 0, bad_ = 0;
  uint64_t sentAt_ = 0;
  std::string expected_;
  std::string reply_;
  std::vector<uint64_t> latencies_;
};

// The stall schedule of the stalled-stream runs: the user-interface thread sleeps 200 ms every
// second, the first time 100 ms after the stream was asked for.
inline constexpr uint64_t kStallFirstNs = 100'000'000;
inline constexpr uint64_t kStallPeriodNs = 1'000'000'000;
inline constexpr uint64_t kStallLengthNs = 200'000'000;

// For clients that stall inside their own loop: sleeps when a stall is due.
class StallSchedule {
public:
  void Start(uint64_t nowNs) { next_ = nowNs + kStallFirstNs; }
  // Sleeps kStallLengthNs if a stall is due; returns whether it did.
  bool MaybeStall();
  unsigned Count() const { return count_; }

private:
  uint64_t next_ = 0;
  unsigned count_ = 0;
};
void SleepNs(uint64_t ns);

}  // namespace bench
