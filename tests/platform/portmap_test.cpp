// The Linux port map: which comN links count, links before detected devices, COM numbers for
// the detected devices, and the values as the SerialComm key presents them.
#include <fcntl.h>

#include <fstream>

#include "platform/linux/portmap_rules.h"
#include "platform/portmap.h"
#include "tests/platform/comm_fixture.h"

namespace {

using platform::detail::ArrangePortMap;
using platform::detail::ComLink;
using platform::detail::ComLinkNumber;

TEST(PortMapRules, OnlyLowerCaseComLinksFromOneTo255WithoutLeadingZerosCount) {
  const std::pair<const char*, int> cases[] = {
      {"com1", 1},   {"com9", 9},  {"com10", 10}, {"com255", 255}, {"com0", 0},  {"com007", 0}, {"com01", 0},
      {"COM3", 0},   {"Com3", 0},  {"com256", 0}, {"com1000", 0},  {"com", 0},   {"com1a", 0},  {"xcom1", 0},
      {"com-1", 0},  {"com 1", 0},
  };
  for (const auto& [name, number] : cases) EXPECT_EQ(ComLinkNumber(name), number) << name;
}

TEST(PortMapRules, LinksComeFirstThenDetectedDevicesTakeTheLowestFreeNumbers) {
  const std::vector<ComLink> links = {{3, "/map/com3", "/dev/pts/5"}, {1, "/map/com1", "/dev/pts/2"}};
  const std::vector<std::string> detected = {"/dev/ttyUSB1", "/dev/ttyS10", "/dev/ttyACM0",
                                             "/dev/ttyUSB0", "/dev/ttyS2",  "/dev/ttyS0"};
  const auto entries = ArrangePortMap(links, detected);
  const std::vector<std::tuple<int, std::string, std::string>> expected = {
      {1, "/dev/pts/2", "/map/com1"},     {3, "/dev/pts/5", "/map/com3"},     {2, "/dev/ttyS0", "/dev/ttyS0"},
      {4, "/dev/ttyS2", "/dev/ttyS2"},    {5, "/dev/ttyS10", "/dev/ttyS10"},  {6, "/dev/ttyUSB0", "/dev/ttyUSB0"},
      {7, "/dev/ttyUSB1", "/dev/ttyUSB1"}, {8, "/dev/ttyACM0", "/dev/ttyACM0"},
  };
  ASSERT_EQ(entries.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(entries[i].number, std::get<0>(expected[i])) << i;
    EXPECT_EQ(entries[i].valueName, std::get<1>(expected[i])) << i;
    EXPECT_EQ(entries[i].openPath, std::get<2>(expected[i])) << i;
  }
}

// Value names are unique in a registry key: a device a link already names is not listed again.
TEST(PortMapRules, ADeviceALinkPointsAtIsListedOnce) {
  const auto entries = ArrangePortMap({{4, "/map/com4", "/dev/ttyUSB0"}}, {"/dev/ttyUSB0", "/dev/ttyUSB1"});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].number, 4);
  EXPECT_EQ(entries[1].valueName, "/dev/ttyUSB1");
  EXPECT_EQ(entries[1].number, 1);
}

TEST(PortMapRules, NumbersStopAt255) {
  std::vector<ComLink> links;
  for (int n = 1; n <= 254; ++n) links.push_back({n, "/map/com" + std::to_string(n), "/dev/pts/" + std::to_string(n)});
  const auto entries = ArrangePortMap(links, {"/dev/ttyUSB0", "/dev/ttyUSB1"});
  ASSERT_EQ(entries.size(), 255u);
  EXPECT_EQ(entries.back().number, 255);
  EXPECT_EQ(entries.back().valueName, "/dev/ttyUSB0");
}

class PortMapFolder : public commtest::CommTest {
protected:
  void TearDown() override {
    platform::detail::SetDetectedDevicesSource(nullptr);
    CommTest::TearDown();
  }
};

TEST_F(PortMapFolder, ValuesListLinksInComOrderThenDetectedDevices) {
  platform::detail::SetDetectedDevicesSource([] { return std::vector<std::string>{"/dev/ttyUSB0"}; });
  Link(12, "/dev/null");
  Link(2, folder_ + "/dangling");  // listed: opening it fails with "not found"
  for (const char* ignored : {"com0", "com007", "COM3", "com256", "comX"})
    ASSERT_EQ(::symlink("/dev/null", (folder_ + "/" + ignored).c_str()), 0);
  std::ofstream(folder_ + "/com5") << "a plain file is not a link";

  const auto values = platform::ReadSerialCommValues();
  ASSERT_TRUE(values.has_value());
  ASSERT_EQ(values->size(), 3u);
  EXPECT_EQ((*values)[0].data, "COM2");
  EXPECT_EQ((*values)[0].name, folder_ + "/dangling");
  EXPECT_EQ((*values)[1].data, "COM12");
  EXPECT_EQ((*values)[1].name, "/dev/null");
  EXPECT_EQ((*values)[2].data, "COM1");
  EXPECT_EQ((*values)[2].name, "/dev/ttyUSB0");

  EXPECT_EQ(platform::DevicePathForPort(12), folder_ + "/com12");
  EXPECT_EQ(platform::DevicePathForPort(1), "/dev/ttyUSB0");
  EXPECT_EQ(platform::DevicePathForPort(5), "");
  EXPECT_EQ(platform::DevicePathForPort(3), "");
}

TEST_F(PortMapFolder, AMissingFolderMeansNoLinks) {
  platform::detail::SetDetectedDevicesSource([] { return std::vector<std::string>{}; });
  ::setenv("DRAVIK_DEVICEMAP", (folder_ + "/not-there").c_str(), 1);
  const auto values = platform::ReadSerialCommValues();
  ASSERT_TRUE(values.has_value());
  EXPECT_TRUE(values->empty());
}

// The real scan of /dev: whatever this machine has, it lists only the three families.
TEST(PortMapScan, ListsOnlySerialDeviceFamilies) {
  const auto devices = platform::detail::ScanDetectedDevices();
  ASSERT_TRUE(devices.has_value());
  for (const std::string& device : *devices) {
    EXPECT_TRUE(device.rfind("/dev/ttyS", 0) == 0 || device.rfind("/dev/ttyUSB", 0) == 0 ||
                device.rfind("/dev/ttyACM", 0) == 0)
        << device;
  }
}

}  // namespace
