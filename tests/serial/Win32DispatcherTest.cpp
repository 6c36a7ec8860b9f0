// TApdWin32Dispatcher over real pseudo-terminals: opening and its failures, receiving through
// trigger messages on the test thread, writing through the output thread, purging output the
// device cannot take, the close paths (from outside, from inside a handler, by destruction),
// and a device that hangs up.

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/sysutils.h"
#include "tests/serial/PtyPortFixture.h"

namespace devlayer_test {
namespace {

using Win32DispatcherTest = PtyPortTest;

TEST_F(Win32DispatcherTest, FailedOpensLeaveNothingBehind) {
  PortLink dangling("/nonexistent/dravik-tty");
  TApdWin32Dispatcher holder(nullptr);
  ASSERT_EQ(holder.OpenPort(Link->DevicePath(), 9600, NOPARITY, 8, 1, 4096, 4096, 0), 0);
  const int threadsWithHolder = ProcessThreadCount();

  struct Case {
    const char* what;
    std::string path;
    int expected;
  };
  const Case cases[] = {
      {"no such port", ComDevicePath(MissingPortNumber), -ERROR_FILE_NOT_FOUND},
      {"dangling link", dangling.DevicePath(), -ERROR_FILE_NOT_FOUND},
      {"held by another owner", Link->DevicePath(), -ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TApdWin32Dispatcher dispatcher(nullptr);
    EXPECT_EQ(dispatcher.OpenPort(c.path, 9600, NOPARITY, 8, 1, 4096, 4096, 0), c.expected);
    EXPECT_EQ(dispatcher.DeviceHandleValue(), -1);
    EXPECT_FALSE(dispatcher.AreThreadsActive());
    EXPECT_EQ(dispatcher.OutputRoom(), 0) << "no output ring";
    EXPECT_EQ(ProcessThreadCount(), threadsWithHolder);
  }
}

TEST_F(Win32DispatcherTest, StartingTwiceIsRefused) {
  ASSERT_EQ(OpenDispatcher(), 0);
  try {
    Dispatcher->StartThreads();
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.Message(), "Dispatcher already started");
  }
  EXPECT_TRUE(Dispatcher->AreThreadsActive());
}

TEST_F(Win32DispatcherTest, ReceivedBytesReachTheHandlerOnTheTestThreadInOrder) {
  ASSERT_EQ(OpenDispatcher(), 0);
  const DWORD testThread = GetCurrentThreadId();
  std::string received;
  int deliveries = 0;
  OnTrigger = [&](UINT msg, WPARAM count, LPARAM lParam) {
    if (msg != TriggerAvailMessage) return;
    ++deliveries;
    EXPECT_EQ(GetCurrentThreadId(), testThread);
    EXPECT_EQ(HIWORD(lParam), static_cast<WORD>(Dispatcher->Handle()));
    // Exactly the announced bytes are there to read.
    uint8_t byte;
    for (WPARAM i = 0; i < count; ++i) {
      ASSERT_EQ(Dispatcher->ReadByte(byte), 0) << "byte " << i << " of " << count;
      received.push_back(static_cast<char>(byte));
    }
    EXPECT_EQ(Dispatcher->ReadByte(byte), ecBufferIsEmpty);
  };

  WriteMaster(Pty->master(), "abc");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 3; }));
  EXPECT_EQ(received, "abc");
  EXPECT_LE(deliveries, 3);

  // A larger stream arrives complete and in order across however many batches it takes.
  const std::string stream = Pattern(0, 20000);
  std::thread writer([&] { WriteMaster(Pty->master(), stream); });
  const bool all = PumpUntil([&] { return received.size() >= 3 + stream.size(); });
  writer.join();
  ASSERT_TRUE(all) << received.size();
  EXPECT_EQ(received.substr(3), stream);
  EXPECT_FALSE(Dispatcher->DeviceGone());
}

TEST_F(Win32DispatcherTest, WrittenBytesArriveAtTheDeviceInOrder) {
  // A small ring, so the stream wraps round it many times and wrapped data is made contiguous.
  ASSERT_EQ(OpenDispatcher(4096, 1000), 0);
  const std::string stream = Pattern(0, 30000);
  std::string atMaster;
  size_t queued = 0;
  ASSERT_TRUE(PumpUntil([&] {
    atMaster += DrainMaster(Pty->master());
    while (queued < stream.size()) {
      const size_t chunk = std::min<size_t>(stream.size() - queued, 1 + queued % 377);
      if (Dispatcher->OutputRoom() < static_cast<int>(chunk)) break;
      EXPECT_EQ(Dispatcher->WriteBytes(stream.data() + queued, static_cast<uint32_t>(chunk)), 0);
      queued += chunk;
    }
    return atMaster.size() >= stream.size();
  }));
  EXPECT_EQ(atMaster, stream);
  EXPECT_TRUE(PumpUntil([&] { return Dispatcher->OutputPending() == 0; }));
}

TEST_F(Win32DispatcherTest, OutputQueuedDuringAPendingWriteFollowsIt) {
  // Nobody reads the master, so the first write cannot finish: the pty holds far less.
  ASSERT_EQ(OpenDispatcher(4096, 400000), 0);
  const std::string first = Pattern(0, 300000);
  const std::string second = Pattern(300000, 5000);
  ASSERT_EQ(Dispatcher->WriteBytes(first.data(), static_cast<uint32_t>(first.size())), 0);
  // The write has begun once bytes show up at the master; it cannot complete.
  ASSERT_EQ(testsupport::HostPoll(Pty->master(), testsupport::HostPollIn, 10000), 1);
  EXPECT_EQ(Dispatcher->OutputPending(), static_cast<int>(first.size()));
  ASSERT_EQ(Dispatcher->WriteBytes(second.data(), static_cast<uint32_t>(second.size())), 0);

  const std::string atMaster = ReadMaster(Pty->master(), first.size() + second.size(), 20000);
  ASSERT_EQ(atMaster.size(), first.size() + second.size());
  EXPECT_TRUE(atMaster == first + second);
  EXPECT_TRUE(PumpUntil([&] { return Dispatcher->OutputPending() == 0; }));
}

TEST_F(Win32DispatcherTest, PurgeAbandonsOutputTheDeviceCannotTake) {
  ASSERT_EQ(OpenDispatcher(4096, 400000), 0);
  const std::string stuck = Pattern(0, 300000);
  ASSERT_EQ(Dispatcher->WriteBytes(stuck.data(), static_cast<uint32_t>(stuck.size())), 0);

  const auto start = std::chrono::steady_clock::now();
  Dispatcher->DiscardOutput();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(5000 + 2000));
  EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0) << "the output thread acknowledged the flush";
  EXPECT_EQ(Dispatcher->OutputPending(), 0);
  EXPECT_EQ(Dispatcher->OutputRoom(), 400000);

  // The port goes on working: what follows arrives after whatever the pty had already taken.
  ASSERT_EQ(Dispatcher->WriteBytes("XYZ", 3), 0);
  std::string atMaster;
  ASSERT_TRUE(PumpUntil([&] {
    atMaster += DrainMaster(Pty->master());
    return atMaster.size() >= 3 && atMaster.substr(atMaster.size() - 3) == "XYZ";
  }));
  EXPECT_LT(atMaster.size(), stuck.size() + 3) << "abandoned bytes were sent";
  EXPECT_EQ(atMaster.substr(0, atMaster.size() - 3), stuck.substr(0, atMaster.size() - 3));
}

TEST_F(Win32DispatcherTest, PurgeQueuesWithoutThreadsHitOnlyTheirOwnQueue) {
  // A device opened without the threads (as port probing does): purging output must not throw
  // away received input.
  TApdWin32Dispatcher dispatcher(nullptr);
  ASSERT_GE(dispatcher.DeviceOpen(Link->DevicePath(), 64, 64), 0);
  auto inQueue = [&] {
    COMSTAT status{};
    dispatcher.DeviceErrors(&status);
    return status.cbInQue;
  };
  WriteMaster(Pty->master(), "abc");
  ASSERT_TRUE(PumpUntil([&] { return inQueue() == 3; }));
  EXPECT_EQ(dispatcher.DevicePurge(TPurgeQueue::Output), 0);
  EXPECT_EQ(inQueue(), 3u);
  EXPECT_EQ(dispatcher.DevicePurge(TPurgeQueue::Input), 0);
  EXPECT_EQ(inQueue(), 0u);
  EXPECT_EQ(dispatcher.DeviceClose(), 0);
  EXPECT_EQ(dispatcher.DeviceClose(), -1) << "already closed";
}

TEST_F(Win32DispatcherTest, CloseFromInsideTheHandlerReleasesOnceItReturns) {
  ASSERT_EQ(OpenDispatcher(), 0);
  int deliveries = 0;
  bool inDeliveryAfterClose = false;
  OnTrigger = [&](UINT msg, WPARAM, LPARAM) {
    if (msg != TriggerAvailMessage) return;
    ++deliveries;
    uint8_t byte;
    Dispatcher->ReadByte(byte);
    Dispatcher->ClosePort();
    inDeliveryAfterClose = Dispatcher->IsInDelivery();
  };
  WriteMaster(Pty->master(), "xy");
  ASSERT_TRUE(PumpUntil([&] { return deliveries > 0; }));
  EXPECT_TRUE(inDeliveryAfterClose) << "the release was deferred";
  ASSERT_TRUE(PumpUntil([&] { return !Dispatcher->AreThreadsActive(); }));
  WriteMaster(Pty->master(), "z");
  EXPECT_EQ(deliveries, 1);
  EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0) << "no bounded wait ran out";
  EXPECT_EQ(Dispatcher->DeviceHandleValue(), -1);
  DestroyDispatcher();
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
}

TEST_F(Win32DispatcherTest, CloseFromOutsideAndDestructionJoinEveryThread) {
  for (bool closeFirst : {true, false}) {
    SCOPED_TRACE(closeFirst ? "ClosePort, then destroy" : "destroy while open");
    ASSERT_EQ(OpenDispatcher(), 0);
    EXPECT_GE(ProcessThreadCount(), BaseThreads + 3);
    // Traffic both ways, and a write left pending (nobody reads the master) at the close.
    std::string received;
    OnTrigger = [&](UINT msg, WPARAM count, LPARAM) {
      uint8_t byte;
      for (WPARAM i = 0; msg == TriggerAvailMessage && i < count; ++i)
        if (Dispatcher->ReadByte(byte) == 0) received.push_back(static_cast<char>(byte));
    };
    WriteMaster(Pty->master(), "ping");
    // The dispatch thread may still be finishing the delivery after the handler has returned;
    // a close that meets a delivery in flight is deferred, so wait for its end. Nothing else
    // can start one: every byte has been read and no trigger is armed.
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 4 && !Dispatcher->IsInDelivery(); }));
    const std::string big = Pattern(0, 3000);
    ASSERT_EQ(Dispatcher->WriteBytes(big.data(), static_cast<uint32_t>(big.size())), 0);

    if (closeFirst) {
      EXPECT_EQ(Dispatcher->ClosePort(), 0);
      EXPECT_FALSE(Dispatcher->IsClosePending());
      EXPECT_FALSE(Dispatcher->AreThreadsActive());
      EXPECT_EQ(Dispatcher->DeviceHandleValue(), -1);
    }
    EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0);
    DestroyDispatcher();
    EXPECT_TRUE(WaitForThreadCount(BaseThreads)) << ProcessThreadCount() << " vs " << BaseThreads;
    DrainMaster(Pty->master());
  }
}

TEST_F(Win32DispatcherTest, HangUpEndsReceivingWithoutSpinning) {
  ASSERT_EQ(OpenDispatcher(), 0);
  OnTrigger = [&](UINT, WPARAM, LPARAM) {};
  Pty->closeMaster();
  ASSERT_TRUE(PumpUntil([&] { return Dispatcher->DeviceGone(); }));
  EXPECT_TRUE(Dispatcher->AreThreadsActive()) << "dispatch and output threads go on";

  // The dispatch thread's timed passes find nothing on a dead device: no busy loop.
  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(1));  // measuring an interval
  const double cpuUsed = ProcessCpuSeconds() - cpuBefore;
  EXPECT_LT(cpuUsed, 0.25) << "CPU seconds used in one second after the hang-up";

  EXPECT_EQ(Dispatcher->WriteBytes("lost", 4), 0);
  EXPECT_EQ(Dispatcher->ClosePort(), 0);
  EXPECT_EQ(Dispatcher->StopWaitTimeouts(), 0);
  DestroyDispatcher();
  EXPECT_TRUE(WaitForThreadCount(BaseThreads));
}

}  // namespace
}  // namespace devlayer_test
