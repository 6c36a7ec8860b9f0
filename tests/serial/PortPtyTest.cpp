// The port component end to end over pty pairs with the real Win32 dispatcher and its threads:
// data-available events on the user-interface thread, reading and purging inside an event,
// opening on demand, open failures, closing from inside an event, and moving an open port.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "serial/AdExcept.h"
#include "serial/AdPort.h"
#include "tests/serial/PortTestSupport.h"

namespace {


// Records every data-available event and runs an optional action inside it.
struct AvailRecorder {
  struct Event {
    uint16_t count;
    bool onUiThread;
    bool openInside;
  };
  TApdCustomComPort* port = nullptr;
  std::vector<Event> events;
  std::string read;
  bool readAll = true;
  std::function<void(uint16_t)> action;

  void Avail(QObject* cp, uint16_t count) {
    events.push_back({count, QThread::currentThread() == QCoreApplication::instance()->thread(), port->Open()});
    EXPECT_EQ(cp, port);
    if (action) action(count);
    if (readAll && port->PortState() == psOpen)
      for (uint16_t i = 0; i < count; ++i) read += port->ReadChar();
  }
  void Timer(QObject*, uint16_t handle) { timers.push_back(handle); }
  std::vector<uint16_t> timers;
};

class PortPty : public ::testing::Test {
protected:
  QObject owner;
  TApdComPort port{&owner};
  AvailRecorder rec;
  void SetUp() override {
    rec.port = &port;
    port.SetBaud(9600);
    port.SetOnTriggerAvail(TTriggerAvailEvent(&rec, &AvailRecorder::Avail));
    TakeShownErrors();
  }
  void TearDown() override { EXPECT_TRUE(TakeShownErrors().empty()); }
};

TEST_F(PortPty, BytesArriveAsOneEventOnTheUserInterfaceThreadAndReadInOrder) {
  LinkedPty pty(1);
  port.SetComNumber(1);
  port.SetOpen(true);
  pty.Write("abc");
  ASSERT_TRUE(WaitFor([&] { return rec.read.size() == 3; }));
  ASSERT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0].count, 3);
  EXPECT_TRUE(rec.events[0].onUiThread);
  EXPECT_EQ(rec.read, "abc");
  pty.Write("defg");
  ASSERT_TRUE(WaitFor([&] { return rec.read.size() == 7; }));
  EXPECT_EQ(rec.read, "abcdefg");
  Settle(150);
  EXPECT_EQ(rec.events.size(), 2u);  // everything read: no further event
  port.SendText("reply");
  EXPECT_EQ(pty.Read(5), "reply");
}

TEST_F(PortPty, PurgeInsideTheEventKeepsTheAnnouncedBytesAndDropsTheRest) {
  LinkedPty pty(1);
  // A descriptor of our own on the tty, opened before the port locks it, to see its input queue.
  const int watch = ::open(pty.Pair().slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(watch, 0);
  port.SetComNumber(1);
  port.SetOpen(true);
  rec.readAll = false;
  std::string inside;
  bool emptyAfter = false;
  rec.action = [&](uint16_t count) {
    if (rec.events.size() != 1) return;
    ASSERT_EQ(count, 3);
    inside += port.ReadChar();
    pty.Write("d");  // arrives in the device's queue before the purge
    int queued = 0;
    QElapsedTimer t;
    t.start();
    while (queued == 0 && t.elapsed() < 5000) {
      ::ioctl(watch, FIONREAD, &queued);
      if (queued == 0) QThread::msleep(1);
    }
    ASSERT_EQ(queued, 1);
    port.PurgeInput();
    inside += port.ReadChar();
    inside += port.ReadChar();
    try {
      port.ReadChar();
    } catch (const EBufferIsEmpty&) {
      emptyAfter = true;
    }
  };
  pty.Write("abc");
  ASSERT_TRUE(WaitFor([&] { return !rec.events.empty(); }));
  EXPECT_EQ(inside, "abc");
  EXPECT_TRUE(emptyAfter);
  Settle(200);
  EXPECT_EQ(rec.events.size(), 1u);  // the purged "d" is never announced
  EXPECT_EQ(port.InputCount(), 0);
  ::close(watch);
}

TEST_F(PortPty, SendTextAfterPurgeOnAClosedPortOpensItOnce) {
  LinkedPty pty(1);
  port.SetComNumber(1);
  int opened = 0;
  struct Counter {
    int* n;
    void Opened(QObject*) { ++*n; }
  } counter{&opened};
  port.SetOnPortOpen(TNotifyEvent(&counter, &Counter::Opened));
  port.PurgeInput();
  port.SendText("!g01Q\r");
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(pty.Read(6), "!g01Q\r");
}

TEST_F(PortPty, OpenFailuresLeaveNothingBehind) {
  LinkedPty held(2);
  TApdComPort holder(&owner);
  holder.SetComNumber(2);
  holder.SetOpen(true);
  const int threads = ThreadCount();
  const int registry = DispatcherRegistryCount();

  port.SetComNumber(2);
  EXPECT_THROW(port.SetOpen(true), EAlreadyOpen);
  port.SetComNumber(9);  // no such port
  EXPECT_THROW(port.SetOpen(true), EBadId);
  LinkPort(8, "/nonexistent/tty");  // a dangling link
  port.SetComNumber(8);
  EXPECT_THROW(port.SetOpen(true), EBadId);
  UnlinkPort(8);

  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.PortState(), psClosed);
  EXPECT_EQ(port.GetDispatcher(), nullptr);
  EXPECT_EQ(port.NotifyWindow(), nullptr);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(DispatcherRegistryCount(), registry);
  EXPECT_TRUE(rec.events.empty());
}

TEST_F(PortPty, ClosingInsideItsOwnEventIsDeferredAndReleasesPromptly) {
  LinkedPty pty(1);
  const int threads = ThreadCount();
  port.SetComNumber(1);
  port.SetOpen(true);
  bool openAfterClose = false;
  TPortState stateAfterClose = psClosed;
  QElapsedTimer sinceClose;
  rec.readAll = false;
  rec.action = [&](uint16_t) {
    port.SetOpen(false);
    openAfterClose = port.Open();
    stateAfterClose = port.PortState();
    port.SetOpen(true);  // ignored while the close is pending
    sinceClose.start();
  };
  pty.Write("abc");
  ASSERT_TRUE(WaitFor([&] { return port.PortState() == psClosed; }));
  const qint64 releaseMs = sinceClose.elapsed();
  EXPECT_TRUE(openAfterClose);
  EXPECT_EQ(stateAfterClose, psShuttingDown);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.GetDispatcher(), nullptr);
  EXPECT_EQ(port.NotifyWindow(), nullptr);
  EXPECT_LT(releaseMs, 1500) << "the release waited for a stop time-out";
  ASSERT_TRUE(WaitFor([&] { return ThreadCount() == threads; }));
  pty.Write("more");
  Settle(200);
  EXPECT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0].openInside, true);
}

TEST_F(PortPty, NoEventAfterTheUserClosedThePort) {
  LinkedPty pty(1);
  port.SetComNumber(1);
  port.SetOpen(true);
  pty.Write("x");
  ASSERT_TRUE(WaitFor([&] { return rec.events.size() == 1; }));
  port.SetOpen(false);
  pty.Write("y");
  Settle(200);
  EXPECT_EQ(rec.events.size(), 1u);
  port.SetOpen(true);  // the tty kept "y" while the port was closed
  pty.Write("z");
  ASSERT_TRUE(WaitFor([&] { return rec.read.size() == 3; }));
  EXPECT_EQ(rec.read, "xyz");
}

TEST_F(PortPty, AnExceptionFromAHandlerIsReportedAndDeliveryGoesOn) {
  LinkedPty pty(1);
  port.SetComNumber(1);
  port.SetOpen(true);
  rec.action = [&](uint16_t) {
    if (rec.events.size() == 1) throw EBadArgument(ecBadArgument);
  };
  pty.Write("a");
  ASSERT_TRUE(WaitFor([&] { return rec.events.size() == 1; }));
  const auto errors = TakeShownErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Bad argument passed to function");
  EXPECT_TRUE(port.Open());
  pty.Write("b");
  ASSERT_TRUE(WaitFor([&] { return rec.events.size() == 2; }));
  EXPECT_EQ(rec.read, "ab");  // the unread "a" is announced again with "b"
}

TEST_F(PortPty, MovingAnOpenPortReopensWithItsTriggers) {
  LinkedPty first(4), second(5);
  port.SetOnTriggerTimer(TTriggerTimerEvent(&rec, &AvailRecorder::Timer));
  port.SetComNumber(4);
  port.SetOpen(true);
  const auto timer = static_cast<uint16_t>(port.NewTimerTrigger());
  port.SetComNumber(5);
  ASSERT_TRUE(port.Open());
  port.ArmTimerTrigger(timer, 1, true);
  ASSERT_TRUE(WaitFor([&] { return !rec.timers.empty(); }));
  EXPECT_EQ(rec.timers[0], timer);
  first.Write("old");
  second.Write("new");
  ASSERT_TRUE(WaitFor([&] { return rec.read.size() >= 3; }));
  Settle(100);
  EXPECT_EQ(rec.read, "new");
}

TEST_F(PortPty, MovingThePortFromInsideItsEventReopensAfterTheClose) {
  LinkedPty first(4), second(5);
  port.SetComNumber(4);
  port.SetOpen(true);
  rec.readAll = false;
  rec.action = [&](uint16_t) {
    if (port.ComNumber() == 4) port.SetComNumber(5);
  };
  first.Write("go");
  ASSERT_TRUE(WaitFor([&] { return port.ComNumber() == 5 && port.PortState() == psOpen; }));
  second.Write("x");
  ASSERT_TRUE(WaitFor([&] { return rec.events.size() == 2; }));
  EXPECT_EQ(rec.events[1].count, 1);
}

}  // namespace
