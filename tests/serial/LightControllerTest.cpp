// The status-light controller over a real port on a pty: the RX and TX lamps follow traffic,
// the handlers it replaces keep receiving every event, tracking follows the port's opening and
// closing, and lamps, ports and the controller itself can go in any order.
#include <gtest/gtest.h>

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "serial/AdExcept.h"
#include "serial/AdPort.h"
#include "serial/AdStatLt.h"
#include "serial/AdStatLtController.h"
#include "tests/serial/PortTestSupport.h"

namespace {

// The program's own data-available handler: reads what it is told, notes the lamp.
struct AppHandler {
  TApdCustomComPort* port = nullptr;
  TApdCustomStatusLight* rx = nullptr;
  bool read = true;
  std::vector<uint16_t> counts;
  std::vector<bool> rxLitDuringEvent;
  std::string got;
  void Avail(QObject*, uint16_t count) {
    counts.push_back(count);
    if (rx) rxLitDuringEvent.push_back(rx->Lit());
    if (read)
      for (uint16_t i = 0; i < count; ++i) got += port->ReadChar();
  }
};

class LightController : public ::testing::Test {
protected:
  LightController() : pty(1) {
    port = new TApdComPort(&form);
    port->SetComNumber(1);
    controller = new TApdSLController(&form);
    rx = new TApdStatusLight(&form, &form);
    tx = new TApdStatusLight(&form, &form);
    controller->Lights()->SetRXDLight(rx);
    controller->Lights()->SetTXDLight(tx);
    app.port = port;
    app.rx = rx;
    port->SetOnTriggerAvail(TTriggerAvailEvent(&app, &AppHandler::Avail));
  }
  ~LightController() override { TApdComponentLink::FreeComponents(&form); }

  LinkedPty pty;
  QWidget form;
  TApdComPort* port;
  TApdSLController* controller;
  TApdStatusLight* rx;
  TApdStatusLight* tx;
  AppHandler app;
};

TEST_F(LightController, TakesTheOwnersPortAndFollowsItsOpening) {
  EXPECT_EQ(controller->ComPort(), port);
  controller->SetTracking(true);  // port closed: nothing visible yet
  EXPECT_FALSE(controller->Tracking());
  EXPECT_TRUE(controller->TrackingPending());
  EXPECT_TRUE(port->OnTriggerAvail() == TTriggerAvailEvent(&app, &AppHandler::Avail));
  EXPECT_FALSE(rx->Lit() || tx->Lit());
  port->SetOpen(true);
  EXPECT_TRUE(controller->Tracking());
  EXPECT_FALSE(port->OnTriggerAvail() == TTriggerAvailEvent(&app, &AppHandler::Avail));
}

TEST_F(LightController, SwitchingOffWhileClosedWithdrawsAPendingOn) {
  controller->SetTracking(true);
  controller->SetTracking(false);
  EXPECT_FALSE(controller->TrackingPending());
  port->SetOpen(true);
  EXPECT_FALSE(controller->Tracking());
}

TEST_F(LightController, ReceivedBytesLightRXUntilTheInputIsFoundEmpty) {
  port->SetOpen(true);
  controller->SetTracking(true);
  app.read = false;  // leave the bytes waiting: the lamp stays lit
  pty.Write("abc");
  ASSERT_TRUE(WaitFor([&] { return !app.counts.empty(); }));
  ASSERT_EQ(app.rxLitDuringEvent.size(), 1u);
  EXPECT_TRUE(app.rxLitDuringEvent[0]);  // lit before the program's handler runs
  Settle(300);                           // several receive-off expiries
  EXPECT_TRUE(rx->Lit());
  port->PurgeInput();
  EXPECT_TRUE(WaitFor([&] { return !rx->Lit(); }));
}

TEST_F(LightController, TheReplacedHandlerSeesEveryEventWithTheSameCount) {
  port->SetOpen(true);
  const std::string chunks[] = {"a", "bc", "def", "ghij"};
  std::vector<uint16_t> withTracking, without;
  for (bool tracking : {true, false}) {
    controller->SetTracking(tracking);
    app.counts.clear();
    app.got.clear();
    for (const std::string& chunk : chunks) {
      const std::size_t before = app.got.size();
      pty.Write(chunk);
      ASSERT_TRUE(WaitFor([&] { return app.got.size() == before + chunk.size(); }));
    }
    EXPECT_EQ(app.got, "abcdefghij");
    (tracking ? withTracking : without) = app.counts;
  }
  EXPECT_EQ(withTracking, (std::vector<uint16_t>{1, 2, 3, 4}));
  EXPECT_EQ(withTracking, without);
}

TEST_F(LightController, SentTextLightsTXAndItGoesOut) {
  port->SetOpen(true);
  controller->SetTracking(true);
  port->SendText("!g01Q\r");
  EXPECT_TRUE(WaitFor([&] { return tx->Lit(); }));
  EXPECT_EQ(pty.Read(6), "!g01Q\r");
  EXPECT_TRUE(WaitFor([&] { return !tx->Lit(); }));
  port->SendText("again");  // the output-sent trigger was armed again
  EXPECT_TRUE(WaitFor([&] { return tx->Lit(); }));
}

TEST_F(LightController, ClosingThePortEndsTrackingAndRestoresTheHandler) {
  port->SetOpen(true);
  controller->SetTracking(true);
  pty.Write("a");
  ASSERT_TRUE(WaitFor([&] { return rx->Lit() || !app.counts.empty(); }));
  port->SetOpen(false);
  EXPECT_FALSE(controller->Tracking());
  EXPECT_FALSE(controller->TrackingPending());
  EXPECT_TRUE(port->OnTriggerAvail() == TTriggerAvailEvent(&app, &AppHandler::Avail));
  EXPECT_FALSE(rx->Lit() || tx->Lit());
  // Reopening and tracking again many times does not pile up triggers.
  for (int i = 0; i < 3; ++i) {
    port->SetOpen(true);
    controller->SetTracking(true);
    port->SetOpen(false);
  }
  port->SetOpen(true);
  TriggerSaveRecord left;
  port->GetDispatcher()->SnapshotTriggers(left);
  EXPECT_TRUE(left.TimerTriggers.empty());
  EXPECT_TRUE(left.StatusTriggers.empty());
}

TEST_F(LightController, ARemovedLampClearsItsSlot) {
  port->SetOpen(true);
  controller->SetTracking(true);
  delete rx;
  rx = nullptr;
  app.rx = nullptr;
  EXPECT_EQ(controller->Lights()->RXDLight(), nullptr);
  pty.Write("x");
  ASSERT_TRUE(WaitFor([&] { return app.got == "x"; }));
  Settle(150);
  EXPECT_TRUE(TakeShownErrors().empty());
}

TEST_F(LightController, TheControllerOrThePortCanGoFirst) {
  port->SetOpen(true);
  controller->SetTracking(true);
  const int users = port->PortUserCount();
  delete controller;
  controller = nullptr;
  EXPECT_EQ(port->PortUserCount(), users - 1);
  EXPECT_TRUE(port->OnTriggerAvail() == TTriggerAvailEvent(&app, &AppHandler::Avail));

  auto* second = new TApdSLController(&form);
  second->SetTracking(true);
  delete port;
  port = nullptr;
  EXPECT_EQ(second->ComPort(), nullptr);
  EXPECT_FALSE(second->Tracking());
}

TEST(LightControllerAlone, TrackingWithoutAPortFails) {
  QObject owner;
  TApdSLController controller(&owner);
  EXPECT_EQ(controller.ComPort(), nullptr);
  try {
    controller.SetTracking(true);
    FAIL() << "no exception";
  } catch (const EPortNotAssigned& e) {
    EXPECT_EQ(e.Message(), "ComPort component not assigned");
  }
  EXPECT_FALSE(controller.Tracking());
  // A port added later to the same owner becomes the controller's port.
  TApdComPort port(&owner);
  EXPECT_EQ(controller.ComPort(), &port);
}

}  // namespace
