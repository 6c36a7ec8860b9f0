// A device that hangs up under an open port (the far end of the pty closes, as when a USB
// adapter is pulled): the port neither hangs nor spins, the next exchange closes the dead port
// and opens the device again, failing clearly while it is gone and working once it is back.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "serial/AdExcept.h"
#include "serial/AdPort.h"
#include "serial/AwWin32.h"
#include "tests/reliability/ProcessFigures.h"
#include "tests/serial/PortTestSupport.h"

namespace {

bool DeviceGone(const TApdCustomComPort& port) {
  const auto* device = dynamic_cast<const TApdWin32Dispatcher*>(port.GetDispatcher());
  return device && device->DeviceGone();
}

struct Reader {
  TApdCustomComPort* port = nullptr;
  std::string got;
  void Avail(QObject*, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) got += port->ReadChar();
  }
};

class PortHangUp : public ::testing::Test {
protected:
  void SetUp() override {
    reader.port = &port;
    port.SetOnTriggerAvail(TTriggerAvailEvent(&reader, &Reader::Avail));
    port.SetComNumber(3);
    TakeShownErrors();
  }
  void TearDown() override { EXPECT_TRUE(TakeShownErrors().empty()); }

  // Opens over `pty`, checks both directions, then pulls the cable.
  void OpenAndPull(LinkedPty& pty) {
    port.SetOpen(true);
    port.SendText("ping");
    ASSERT_EQ(pty.Read(4), "ping");
    pty.Write("pong");
    ASSERT_TRUE(WaitFor([&] { return reader.got == "pong"; }));
    pty.Pair().closeMaster();
    ASSERT_TRUE(WaitFor([&] { return DeviceGone(port); }));
  }

  QObject owner;
  TApdComPort port{&owner};
  Reader reader;
};

TEST_F(PortHangUp, TheNextExchangeReopensTheDeviceOnceItIsBack) {
  auto first = std::make_unique<LinkedPty>(3);
  OpenAndPull(*first);
  // Still open until the program's next exchange; nothing spins meanwhile.
  EXPECT_TRUE(port.Open());
  const double cpu = ProcessCpuMs();
  RunEventLoopFor(1000);
  EXPECT_LT(ProcessCpuMs() - cpu, 50.0 * SanitizerSlowdown()) << "processor time used in the second after the hang-up";

  // The link still names the old pty, which is gone: the exchange closes the dead port and the
  // reopen fails as for a missing port.
  EXPECT_THROW(port.PurgeInput(), EBadId);
  EXPECT_EQ(port.PortState(), psClosed);
  EXPECT_EQ(port.GetDispatcher(), nullptr);
  EXPECT_THROW(port.SendText("again"), EBadId);

  // The device comes back under the same number.
  first.reset();
  LinkedPty second(3);
  port.PurgeInput();
  EXPECT_TRUE(port.Open());
  port.SendText("hello");
  EXPECT_EQ(second.Read(5), "hello");
  reader.got.clear();
  second.Write("back");
  EXPECT_TRUE(WaitFor([&] { return reader.got == "back"; }));
}

TEST_F(PortHangUp, WithoutAutoOpenTheDeadPortClosesAndSaysSo) {
  LinkedPty pty(3);
  port.SetAutoOpen(false);
  OpenAndPull(pty);
  EXPECT_THROW(port.SendText("lost"), ECommNotOpen);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.GetDispatcher(), nullptr);
}

TEST_F(PortHangUp, ReadingWhatArrivedBeforeTheHangUpStillWorks) {
  LinkedPty pty(3);
  port.SetOnTriggerAvail(TTriggerAvailEvent());  // nobody reads in the event
  port.SetOpen(true);
  pty.Write("last");
  ASSERT_TRUE(WaitFor([&] { return port.InputCount() == 4; }));
  pty.Pair().closeMaster();
  ASSERT_TRUE(WaitFor([&] { return DeviceGone(port); }));
  std::string got;
  for (int i = 0; i < 4; ++i) got += port.ReadChar();
  EXPECT_EQ(got, "last");
  EXPECT_TRUE(port.Open()) << "reading does not start an exchange";
}

}  // namespace
