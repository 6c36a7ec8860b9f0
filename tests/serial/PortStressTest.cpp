// Many open/close cycles of one port over a pty with traffic both ways, half of them closed
// from inside the port's own data-available event: every cycle must end (bounded), and no
// thread, window or dispatcher may be left behind.
#include <gtest/gtest.h>

#include <string>

#include "serial/AdPort.h"
#include "tests/serial/PortTestSupport.h"

namespace {

struct Cycler {
  TApdCustomComPort* port = nullptr;
  bool closeInside = false;
  std::size_t expected = 0;
  std::string got;
  void Avail(QObject*, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) got += port->ReadChar();
    // The text may come in more than one event: close once all of it is in.
    if (closeInside && got.size() >= expected) port->SetOpen(false);
  }
};

TEST(PortStress, FiveHundredCyclesWithTrafficAndClosesFromInsideHandlers) {
  LinkedPty pty(1);
  QObject owner;
  TApdComPort port(&owner);
  port.SetComNumber(1);
  Cycler cycler;
  cycler.port = &port;
  port.SetOnTriggerAvail(TTriggerAvailEvent(&cycler, &Cycler::Avail));
  TakeShownErrors();
  const int threads = ThreadCount();
  const int registry = DispatcherRegistryCount();

  for (int cycle = 0; cycle < 500; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    cycler.closeInside = cycle % 2 == 1;
    cycler.got.clear();
    port.SetOpen(true);
    const std::string out = "out" + std::to_string(cycle);
    port.SendText(out);
    ASSERT_EQ(pty.Read(out.size()), out);
    const std::string in = "in" + std::to_string(cycle);
    cycler.expected = in.size();
    pty.Write(in);
    ASSERT_TRUE(WaitFor([&] { return cycler.got.size() >= in.size(); }));
    EXPECT_EQ(cycler.got, in);
    if (!cycler.closeInside) port.SetOpen(false);
    ASSERT_TRUE(WaitFor([&] { return port.PortState() == psClosed; }));
  }
  ASSERT_TRUE(WaitFor([&] { return ThreadCount() == threads; }));
  EXPECT_EQ(DispatcherRegistryCount(), registry);
  EXPECT_EQ(port.NotifyWindow(), nullptr);
  EXPECT_TRUE(TakeShownErrors().empty());
}

}  // namespace
