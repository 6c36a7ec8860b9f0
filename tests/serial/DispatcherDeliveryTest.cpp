// Delivery to receivers: when delivery is needed at all, the order of method, procedure and
// window handlers, handlers detached during a delivery, closing the port from inside a
// handler, a handler that throws, the registry of dispatchers, and a failed open.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeDispatcher.h"

namespace {

std::vector<std::string>* callLog = nullptr;

void LoggingProc(UINT, WPARAM wParam, LPARAM) { callLog->push_back("proc " + std::to_string(wParam)); }

void LoggingMethod(void* self, UINT, WPARAM, LPARAM) {
  callLog->push_back(*static_cast<std::string*>(self));
}

class DispatcherDelivery : public ::testing::Test {
protected:
  TFakeDispatcher port;
  TTriggerWindow window;
  std::vector<std::string> calls;

  void SetUp() override {
    callLog = &calls;
    ASSERT_EQ(port.OpenDefault(), 0);
    port.SetAvailThreshold(1);
  }
  void TearDown() override { callLog = nullptr; }

  void Pass(const std::string& arriving) {
    port.Feed(arriving);
    port.SignalEvent(EV_RXCHAR);
    port.DispatchPass();
  }
};

TEST_F(DispatcherDelivery, NothingIsDeliveredWhenNoReceiverWantsIt) {
  port.AttachWindow(window.Window());
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerRemoved);
  EXPECT_TRUE(port.DeliverTrigger(TriggerAvailMessage, 3, 0));
  Pass("abc");
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_EQ(port.BytesWaiting(), 3);
}

TEST_F(DispatcherDelivery, TheOnlyWindowWithoutAPortHandlerGetsNoMessage) {
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerRemoved);
  port.AttachWindow(window.Window());  // delivery needed, but no port handler installed
  Pass("abc");
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_FALSE(port.DeliverTrigger(TriggerAvailMessage, 3, 0));
  EXPECT_EQ(port.BytesWaiting(), 3);
}

TEST_F(DispatcherDelivery, MethodsThenProceduresThenWindowsInOrder) {
  std::string first = "method a", second = "method b";
  port.RegisterMethodHandler({LoggingMethod, &first}, false);
  port.RegisterMethodHandler({LoggingMethod, &second}, true);
  port.RegisterProcHandler(LoggingProc);
  port.AttachWindow(window.Window());
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  window.OnMessage([&](const TTriggerWindow::Message&) { calls.push_back("window"); });
  Pass("xy");
  EXPECT_EQ(calls, (std::vector<std::string>{"method a", "method b", "proc 2", "window"}));

  port.DeregisterMethodHandler({LoggingMethod, &first});
  port.DeregisterMethodHandler({LoggingMethod, &second});
  port.DeregisterProcHandler(LoggingProc);
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerRemoved);
  calls.clear();
  Pass("z");
  // One window and no port handler: nobody is left to deliver to.
  EXPECT_TRUE(calls.empty());
}

TEST_F(DispatcherDelivery, AWindowDetachedDuringADeliveryIsSkippedAndRemovedAfterwards) {
  TTriggerWindow second;
  port.AttachWindow(window.Window());
  port.AttachWindow(second.Window());
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  window.OnMessage([&](const TTriggerWindow::Message&) { port.DetachWindow(second.Window()); });
  Pass("a");
  EXPECT_EQ(window.Messages().size(), 1u);
  EXPECT_TRUE(second.Messages().empty());
  Pass("b");
  EXPECT_EQ(window.Messages().size(), 2u);
  EXPECT_TRUE(second.Messages().empty());
}

TEST_F(DispatcherDelivery, ClosingInsideAHandlerEndsTheDeliveryAndDefersTheRelease) {
  TTriggerWindow second;
  port.AttachWindow(window.Window());
  port.AttachWindow(second.Window());
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  const int timer = port.NewTimerTrigger();
  window.OnMessage([&](const TTriggerWindow::Message&) {
    uint8_t byte;
    port.ReadByte(byte);
    port.ClosePort();
    EXPECT_TRUE(port.IsInDelivery());
  });
  Pass("abc");
  EXPECT_EQ(window.Messages().size(), 1u);
  EXPECT_TRUE(second.Messages().empty());
  EXPECT_TRUE(port.IsClosePending());
  EXPECT_FALSE(port.IsInDelivery());
  EXPECT_EQ(port.DeviceHandleValue(), -1);
  EXPECT_EQ(port.PurgeCount(0), 1);
  EXPECT_EQ(port.PurgeCount(1), 1);
  // Not released yet: the trigger table is still there for the component's snapshot.
  EXPECT_EQ(port.ArmTimerTrigger(timer, 1, true), 0);
}

void ThrowingProc(UINT, WPARAM, LPARAM) { throw std::runtime_error("procedure failed"); }
void ThrowingMethod(void*, UINT, WPARAM, LPARAM) { throw std::runtime_error("method failed"); }

TEST(DispatcherThrowingHandler, LeavesNoDeliveryBehind) {
  struct Case {
    const char* what;
    std::function<void(TFakeDispatcher&)> attach;
  };
  const Case cases[] = {
      {"procedure handler", [](TFakeDispatcher& p) { p.RegisterProcHandler(ThrowingProc); }},
      {"method handler",
       [](TFakeDispatcher& p) { p.RegisterMethodHandler({ThrowingMethod, nullptr}, false); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TFakeDispatcher port;
    TTriggerWindow window;
    ASSERT_EQ(port.OpenDefault(), 0);
    port.SetAvailThreshold(1);
    c.attach(port);
    port.AttachWindow(window.Window());
    port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
    port.Feed("abc");
    port.SignalEvent(EV_RXCHAR);
    EXPECT_THROW(port.DispatchPass(), std::runtime_error);
    EXPECT_TRUE(window.Messages().empty()) << "the delivery ended with the exception";

    EXPECT_FALSE(port.IsInDelivery());
    // Reads consume again: the second byte is next, not the first one peeked again.
    uint8_t byte = 0;
    EXPECT_EQ(port.ReadByte(byte), 0);
    EXPECT_EQ(byte, 'a');
    EXPECT_EQ(port.PeekByte(byte, 1), 0);
    EXPECT_EQ(byte, 'b');
    // A close is not taken for one from inside a handler: it releases at once.
    EXPECT_EQ(port.ClosePort(), 0);
    EXPECT_FALSE(port.IsClosePending());
    EXPECT_EQ(port.BytesWaiting(), 0) << "buffers released";
  }
}

TEST(DispatcherRegistry, SlotsAreHandlesAndFreedSlotsAreReused) {
  std::lock_guard registryLock(DispatcherRegistryLock());
  const int before = DispatcherRegistryCount();
  auto a = std::make_unique<TFakeDispatcher>();
  auto b = std::make_unique<TFakeDispatcher>();
  EXPECT_EQ(a->Handle(), before);
  EXPECT_EQ(b->Handle(), before + 1);
  EXPECT_EQ(DispatcherFromHandle(b->Handle()), b.get());
  a.reset();
  EXPECT_EQ(DispatcherFromHandle(before), nullptr);
  EXPECT_EQ(DispatcherRegistryCount(), before + 2);
  auto c = std::make_unique<TFakeDispatcher>();
  EXPECT_EQ(c->Handle(), before);
  b.reset();
  c.reset();
  EXPECT_EQ(DispatcherRegistryCount(), before);
  EXPECT_EQ(DispatcherFromHandle(-1), nullptr);
  EXPECT_EQ(DispatcherFromHandle(before + 5), nullptr);
}

TEST(DispatcherOpen, AFailedOpenReturnsTheNegatedErrorAndLeavesNothingBehind) {
  for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}) {
    TFakeDispatcher port;
    port.FailNextOpen(error);
    EXPECT_EQ(port.OpenDefault(), -static_cast<int>(error));
    EXPECT_EQ(port.DeviceHandleValue(), -1);
    EXPECT_FALSE(port.AreThreadsActive());
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_EQ(port.WriteBytes("x", 1), ecPutBlockFail);
  }
}

}  // namespace
