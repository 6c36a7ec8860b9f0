// Receiving and reading: the data-available trigger's coalesced announcements, reading ahead
// inside a delivery (several windows, partial reads, purging), an empty read and a full
// dispatch buffer. The passes run on the test thread, which owns the windows, so every
// delivery is a direct call.
#include <gtest/gtest.h>

#include <string>

#include "FakeDispatcher.h"

namespace {

class DispatcherInput : public ::testing::Test {
protected:
  TFakeDispatcher port;
  TTriggerWindow window;

  void SetUp() override {
    ASSERT_EQ(port.OpenDefault(), 0);
    port.AttachWindow(window.Window());
    port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
    port.SetAvailThreshold(1);
  }

  void Pass(const std::string& arriving = "") {
    if (!arriving.empty()) port.Feed(arriving);
    port.SignalEvent(EV_RXCHAR);
    port.DispatchPass();
  }

  std::string Read(int count) {
    std::string bytes;
    uint8_t byte;
    for (int i = 0; i < count && port.ReadByte(byte) == 0; ++i) bytes += static_cast<char>(byte);
    return bytes;
  }

  static std::vector<WPARAM> AvailCounts(TTriggerWindow& w) {
    std::vector<WPARAM> counts;
    for (const auto& m : w.Messages())
      if (m.Msg == TriggerAvailMessage) counts.push_back(m.wParam);
    return counts;
  }
};

TEST_F(DispatcherInput, OneAnnouncementPerBatchAndNoneOnceAllIsRead) {
  std::string got;
  window.OnMessage([&](const TTriggerWindow::Message& m) { got += Read(static_cast<int>(m.wParam)); });
  Pass("abc");
  EXPECT_EQ(AvailCounts(window), (std::vector<WPARAM>{3}));
  EXPECT_EQ(got, "abc");
  EXPECT_EQ(port.BytesWaiting(), 0);
  Pass();
  EXPECT_EQ(AvailCounts(window).size(), 1u);
  // lParam carries the dispatcher's handle in its high word and 0 for avail.
  EXPECT_EQ(window.Messages()[0].lParam, static_cast<LPARAM>(port.Handle()) << 16);
}

TEST_F(DispatcherInput, UnreadBytesAreAnnouncedAgainWithTheNextBatch) {
  std::vector<std::string> reads{"", "", ""};
  int delivery = 0;
  window.OnMessage([&](const TTriggerWindow::Message& m) {
    const int count = delivery == 0 ? 1 : static_cast<int>(m.wParam);
    reads[delivery++] = Read(count);
  });
  Pass("abc");
  EXPECT_EQ(port.BytesWaiting(), 2);
  Pass();  // nothing new arrived: no announcement
  Pass("de");
  EXPECT_EQ(AvailCounts(window), (std::vector<WPARAM>{3, 4}));
  EXPECT_EQ(reads[0], "a");
  EXPECT_EQ(reads[1], "bcde");
  EXPECT_EQ(port.BytesWaiting(), 0);
}

TEST_F(DispatcherInput, WindowsReadFromTheSamePositionAndTheLargestReadIsConsumed) {
  TTriggerWindow second;
  port.AttachWindow(second.Window());
  std::string first, other;
  int waitingInSecond = -1;
  window.OnMessage([&](const TTriggerWindow::Message&) { first = Read(1); });
  second.OnMessage([&](const TTriggerWindow::Message&) {
    other = Read(2);
    waitingInSecond = port.BytesWaiting();
  });
  Pass("xyz");
  EXPECT_EQ(first, "x");
  EXPECT_EQ(other, "xy");
  EXPECT_EQ(waitingInSecond, 1);
  EXPECT_EQ(Read(5), "z");
}

TEST_F(DispatcherInput, EmptyReadFailsAndKeepsThePeekCount) {
  uint8_t byte;
  EXPECT_EQ(port.ReadByte(byte), ecBufferIsEmpty);
  int results[3] = {};
  window.OnMessage([&](const TTriggerWindow::Message&) {
    for (int& result : results) result = port.ReadByte(byte);
    EXPECT_EQ(port.BytesWaiting(), 0);
  });
  Pass("ab");
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(results[2], ecBufferIsEmpty);
  // Exactly the two bytes were consumed, so nothing remains and nothing is announced again.
  EXPECT_EQ(port.BytesWaiting(), 0);
  Pass("c");
  EXPECT_EQ(AvailCounts(window), (std::vector<WPARAM>{2, 1}));
}

TEST_F(DispatcherInput, FullBufferLeavesFurtherInputInTheDriver) {
  std::string stream;
  for (int i = 0; i < 8192 + 100; ++i) stream += static_cast<char>('a' + i % 26);
  Pass(stream);
  EXPECT_EQ(port.BytesWaiting(), 8192);
  EXPECT_EQ(port.DriverBytes(), 100u);
  // A batch that brings the head all the way round is still a new batch.
  EXPECT_EQ(AvailCounts(window), (std::vector<WPARAM>{8192}));
  Pass();
  EXPECT_EQ(port.DriverBytes(), 100u);
  EXPECT_EQ(Read(10), stream.substr(0, 10));
  Pass();
  EXPECT_EQ(port.DriverBytes(), 90u);
  EXPECT_EQ(port.BytesWaiting(), 8192);
  // Order survives the wrap of the ring.
  EXPECT_EQ(Read(8192), stream.substr(10, 8192));
  Pass();
  EXPECT_EQ(Read(200), stream.substr(8202));
}

TEST_F(DispatcherInput, PurgeInsideADeliveryKeepsTheAnnouncedBytesUntilItEnds) {
  std::string got;
  int emptyRead = 0;
  window.OnMessage([&](const TTriggerWindow::Message&) {
    got = Read(1);
    port.Feed("d");  // arrived in the driver before the purge
    EXPECT_EQ(port.DiscardInput(), 0);
    got += Read(2);
    uint8_t byte;
    emptyRead = port.ReadByte(byte);
  });
  Pass("abc");
  EXPECT_EQ(got, "abc");
  EXPECT_EQ(emptyRead, ecBufferIsEmpty);
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(port.DriverBytes(), 0u);
  Pass();
  EXPECT_EQ(AvailCounts(window).size(), 1u);
}

TEST_F(DispatcherInput, PurgeInsideADeliveryOfAFullBuffer) {
  std::string stream(8192, 'q');
  size_t readAfterPurge = 0;
  window.OnMessage([&](const TTriggerWindow::Message& m) {
    Read(1);
    port.DiscardInput();
    readAfterPurge = Read(static_cast<int>(m.wParam)).size();
  });
  Pass(stream);
  EXPECT_EQ(readAfterPurge, 8191u);
  EXPECT_EQ(port.BytesWaiting(), 0);
}

TEST_F(DispatcherInput, PurgeOutsideADeliveryEmptiesBufferAndDriver) {
  window.OnMessage([](const TTriggerWindow::Message&) {});
  Pass("abc");
  port.Feed("def");
  EXPECT_EQ(port.DiscardInput(), 0);
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(port.DriverBytes(), 0u);
}

TEST_F(DispatcherInput, PeekCountsFromTheReadPosition) {
  window.OnMessage([](const TTriggerWindow::Message&) {});
  Pass("abc");
  uint8_t byte = 0;
  EXPECT_EQ(port.PeekByte(byte, 3), 0);
  EXPECT_EQ(byte, 'c');
  EXPECT_EQ(port.PeekByte(byte, 4), ecBufferIsEmpty);
  EXPECT_EQ(port.PeekByte(byte, 0), ecBufferIsEmpty);
  EXPECT_EQ(port.BytesWaiting(), 3);
}

TEST_F(DispatcherInput, ThresholdHoldsBackSmallBatches) {
  port.SetAvailThreshold(4);
  window.OnMessage([&](const TTriggerWindow::Message& m) { Read(static_cast<int>(m.wParam)); });
  Pass("abc");
  EXPECT_TRUE(AvailCounts(window).empty());
  Pass("d");
  EXPECT_EQ(AvailCounts(window), (std::vector<WPARAM>{4}));
  EXPECT_EQ(port.DeleteTrigger(AvailTriggerHandle), 0);
  Pass("efgh");
  EXPECT_EQ(AvailCounts(window).size(), 1u);
}

}  // namespace
