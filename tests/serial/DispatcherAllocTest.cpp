// Receiving, scanning and delivering allocate nothing: this executable replaces the global
// allocation functions with counting ones and streams 10 MB through the dispatcher while a
// window handler reads every announced byte (with a data trigger to match against).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "FakeDispatcher.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* CountedAllocate(std::size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (counting) ++allocations;
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (counting) ++allocations;
  return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

uint64_t bytesRead = 0;
uint8_t expected = 0;
bool inOrder = true;

TEST(DispatcherAllocation, StreamingTenMegabytesAllocatesNothing) {
  TFakeDispatcher port;
  TTriggerWindow window;
  ASSERT_EQ(port.OpenDefault(), 0);
  port.AttachWindow(window.Window());
  port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  port.SetAvailThreshold(1);
  // Scanning byte by byte: a data trigger that the stream never completes.
  ASSERT_GT(port.AddDataTrigger("zq", false), 0);
  window.KeepRecords(false);  // the recording is the test's own allocation
  window.OnMessage([&](const TTriggerWindow::Message& m) {
    uint8_t byte;
    for (WPARAM i = 0; i < m.wParam && port.ReadByte(byte) == 0; ++i) {
      inOrder = inOrder && byte == expected++;
      ++bytesRead;
    }
  });
  // Warm up once so lazily created platform state (the thread's message queue) exists.
  port.FeedCount(1);
  port.SignalEvent(EV_RXCHAR);
  port.DispatchPass();
  ASSERT_EQ(bytesRead, 1u);

  constexpr uint64_t total = 10u << 20;
  port.FeedCount(total);
  counting = true;
  while (port.DriverBytes() > 0 || port.BytesWaiting() > 0) {
    port.SignalEvent(EV_RXCHAR);
    port.DispatchPass();
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(bytesRead, total + 1);
  EXPECT_TRUE(inOrder);
}

}  // namespace
