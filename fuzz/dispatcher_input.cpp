// Fuzz target: the dispatcher's input side over the fake device of the dispatcher tests. The
// input is a program of steps: bytes arrive in the driver, dispatch passes run (each delivering
// data-available events to a window whose handler reads, peeks, discards or receives more as the
// input says), reads and peeks outside a delivery, discards, threshold changes.
//
// Every byte fed is numbered, and a model of what must still be readable (the bytes fed and not
// yet consumed or discarded, in order) is checked against every byte read or peeked and against
// the counts: nothing lost, nothing duplicated, nothing out of order, and never more than the
// dispatch buffer holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "FakeDispatcher.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

constexpr uint32_t kDispatchBufferSize = 8192;
// Bytes fed per input at most, enough to fill the dispatch buffer more than twice.
constexpr std::size_t kMostFed = 3 * kDispatchBufferSize;

class InputProgram {
public:
  explicit InputProgram(FuzzedDataProvider& input) : input_(input) {
    // The fake device's own line settings: the open then has no output to drain first.
    Check(port_.OpenPort("\\\\.\\COM1", 19200, NOPARITY, 8, 1, 4096, 4096, ptoDTROn | ptoRTSOn) == 0, "open");
    window_.KeepRecords(false);
    port_.AttachWindow(window_.Window());
    port_.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
    port_.SetAvailThreshold(input_.ConsumeIntegralInRange<int>(0, 4));
    window_.OnMessage([this](const TTriggerWindow::Message& m) { Delivery(m); });
  }

  void Run() {
    while (input_.remaining_bytes() > 0) {
      switch (input_.ConsumeIntegralInRange<int>(0, 6)) {
        case 0: Feed(); break;
        case 1: case 2: Pass(); break;
        case 3: ReadOutside(input_.ConsumeIntegralInRange<int>(0, 300)); break;
        case 4: PeekOutside(); break;
        case 5: Discard(false); break;
        case 6: port_.SetAvailThreshold(input_.ConsumeIntegralInRange<int>(0, 20)); break;
      }
      CheckCounts();
    }
    // Whatever is left comes out in order.
    for (int round = 0; round < 8 && !expected_.empty(); ++round) {
      Pass();
      ReadOutside(static_cast<int>(kDispatchBufferSize));
    }
    Check(expected_.empty(), "bytes fed were never readable");
  }

private:
  void Feed() {
    const std::size_t count =
        std::min(input_.ConsumeIntegralInRange<std::size_t>(0, 5000), kMostFed - std::min(kMostFed, fed_));
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
      const auto byte = static_cast<uint8_t>(next_++ % 251);
      bytes += static_cast<char>(byte);
      expected_.push_back(byte);
    }
    fed_ += count;
    port_.Feed(bytes);
  }

  void Pass() {
    port_.SignalEvent(EV_RXCHAR);
    port_.DispatchPass();
    EndOfDelivery();
  }

  // Bytes in the dispatch buffer, peeked ones included.
  uint32_t Buffered() { return static_cast<uint32_t>(port_.BytesWaiting()) + (inDelivery_ ? peeked_ : 0); }

  void CheckCounts() {
    const uint32_t buffered = Buffered();
    Check(buffered <= kDispatchBufferSize, "more waiting than the dispatch buffer holds");
    Check(buffered + port_.DriverBytes() == expected_.size(), "bytes lost or duplicated");
  }

  // Runs inside DispatchPass, once per data-available (or data) delivery.
  void Delivery(const TTriggerWindow::Message& m) {
    EndOfDelivery();  // a previous delivery of the same pass has been consumed by now
    Check(m.Msg == TriggerAvailMessage, "only data-available deliveries");
    inDelivery_ = true;
    peeked_ = 0;
    consumeAll_ = 0;
    Check(m.wParam <= static_cast<WPARAM>(port_.BytesWaiting()), "more announced than waiting");
    const int steps = input_.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < steps; ++i) {
      switch (input_.ConsumeIntegralInRange<int>(0, 4)) {
        case 0: ReadInside(static_cast<int>(m.wParam)); break;
        case 1: ReadInside(input_.ConsumeIntegralInRange<int>(0, 40)); break;
        case 2: Discard(true); break;
        case 3: Feed(); break;
        case 4: PeekOutside(); break;  // PeekByte does not move with the delivery's reads
      }
    }
    deliveryEnded_ = true;
  }

  void ReadInside(int count) {
    for (int i = 0; i < count; ++i) {
      uint8_t byte = 0;
      if (port_.ReadByte(byte) != 0) {  // a failed read changes nothing
        Check(peeked_ >= Buffered(), "a read failed with bytes waiting");
        return;
      }
      Check(peeked_ < expected_.size() && expected_[peeked_] == byte, "read inside a delivery: wrong byte");
      ++peeked_;
    }
  }

  void ReadOutside(int count) {
    for (int i = 0; i < count; ++i) {
      uint8_t byte = 0;
      if (port_.ReadByte(byte) != 0) {  // a failed read changes nothing
        Check(Buffered() == 0, "a read failed with bytes waiting");
        return;
      }
      Check(!expected_.empty() && expected_.front() == byte, "read: wrong byte");
      expected_.pop_front();
    }
  }

  void PeekOutside() {
    const auto n = input_.ConsumeIntegralInRange<uint32_t>(1, kDispatchBufferSize + 1);
    uint8_t byte = 0;
    const uint32_t buffered = Buffered();
    if (port_.PeekByte(byte, n) != 0) {
      Check(n > buffered, "a peek failed within the waiting bytes");
      return;
    }
    Check(n <= buffered && expected_[n - 1] == byte, "peek: wrong byte");
  }

  void Discard(bool inside) {
    if (inside) {
      // The bytes announced stay readable until the delivery ends; then all that was in the
      // dispatch buffer is consumed. What was still in the driver is gone at once.
      consumeAll_ = Buffered();
      Check(port_.DiscardInput() == 0, "discard");
      expected_.resize(consumeAll_);
    } else {
      Check(port_.DiscardInput() == 0, "discard");
      expected_.clear();
    }
  }

  // The dispatcher consumes what the delivery read (or, after a discard inside it, everything
  // that was in the buffer) as soon as the handler has returned.
  void EndOfDelivery() {
    if (!deliveryEnded_) return;
    const std::size_t consumed = std::max<std::size_t>(peeked_, consumeAll_);
    Check(consumed <= expected_.size(), "consumed more than there was");
    expected_.erase(expected_.begin(), expected_.begin() + static_cast<std::ptrdiff_t>(consumed));
    inDelivery_ = false;
    deliveryEnded_ = false;
    peeked_ = 0;
    consumeAll_ = 0;
  }

  FuzzedDataProvider& input_;
  TFakeDispatcher port_;
  TTriggerWindow window_;
  std::deque<uint8_t> expected_;  // fed, not yet consumed or discarded, in order
  std::size_t fed_ = 0;
  uint32_t next_ = 0;
  bool inDelivery_ = false;
  bool deliveryEnded_ = false;
  uint32_t peeked_ = 0;      // bytes read so far in the running delivery
  uint32_t consumeAll_ = 0;  // a discard inside the delivery consumes this many at its end
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  InputProgram program(input);
  program.Run();
  return 0;
}
