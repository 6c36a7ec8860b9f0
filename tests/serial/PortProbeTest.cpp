// PortAvailable over the device map: a free port and one another owner holds are available, a
// dangling link, an unknown number and number 0 are not; through a temporary dispatcher and by
// opening the device directly alike, and without leaving anything behind.
#include "platform/winapi.h"
#include "serial/AdSelComProbe.h"
#include "tests/serial/PtyPortFixture.h"

namespace devlayer_test {
namespace {

class PortProbeTest : public PtyPortTest, public ::testing::WithParamInterface<bool> {
protected:
  void SetUp() override {
    PtyPortTest::SetUp();
    ProbeWithDispatcher = GetParam();
  }
  void TearDown() override {
    ProbeWithDispatcher = true;
    PtyPortTest::TearDown();
  }
};

TEST_P(PortProbeTest, ReportsWhatCanBeOpened) {
  PortLink dangling("/nonexistent/dravik-tty");
  testsupport::HostPty otherPty;
  PortLink held(otherPty.slavePath());
  HANDLE holder = CreateFileA(held.DevicePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const int registrySlots = DispatcherRegistryCount();
  const int threads = ProcessThreadCount();

  struct Case {
    const char* what;
    int number;
    bool available;
  };
  const Case cases[] = {
      {"free port", Link->Number(), true},
      {"held by another owner", held.Number(), true},
      {"dangling link", dangling.Number(), false},
      {"unknown number", MissingPortNumber, false},
      {"number 0", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PortAvailable(c.number), c.available);
    EXPECT_EQ(DispatcherRegistryCount(), registrySlots);
    EXPECT_EQ(ProcessThreadCount(), threads);
  }
  // Busy counts as available only by that setting.
  BusyCountsAsAvailable = false;
  EXPECT_FALSE(PortAvailable(held.Number()));
  EXPECT_TRUE(PortAvailable(Link->Number()));
  BusyCountsAsAvailable = true;

  // The probe left the free port closed: it opens normally afterwards.
  EXPECT_EQ(OpenDispatcher(), 0);
  CloseHandle(holder);
}

INSTANTIATE_TEST_SUITE_P(ThroughDispatcherOrDirectly, PortProbeTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Dispatcher" : "Direct"; });

}  // namespace
}  // namespace devlayer_test
