// Port enumeration over the SerialComm values: one table of lists and what they give.
#include <gtest/gtest.h>

#include "session/PortComms.h"
#include "platform/sysutils.h"

namespace {

using Values = std::vector<platform::SerialCommValue>;

struct EnumerationCase {
  const char* name;
  TSerialCommValues values;
  TPortsList ports;          // when it succeeds
  const char* error;         // else the conversion error's message
};

class EnumerateComPortsTest : public ::testing::TestWithParam<EnumerationCase> {};

TEST_P(EnumerateComPortsTest, GivesTheNumbersOrFailsWhole) {
  const EnumerationCase& c = GetParam();
  if (!c.error) {
    EXPECT_EQ(EnumerateComPorts(c.values), c.ports);
    return;
  }
  try {
    EnumerateComPorts(c.values);
    FAIL() << "no error";
  } catch (const platform::EConvertError& e) {
    EXPECT_EQ(e.Message(), c.error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, EnumerateComPortsTest,
    ::testing::Values(
        EnumerationCase{"NoList", std::nullopt, {}, nullptr},
        EnumerationCase{"EmptyList", Values{}, {}, nullptr},
        EnumerationCase{"InTheListsOrder", Values{{"\\Device\\Serial1", "COM12"}, {"\\Device\\Serial0", "COM3"}},
                        {12, 3}, nullptr},
        EnumerationCase{"BluetoothModemsSkipped",
                        Values{{"\\Device\\BthModem0", "COM5"}, {"/dev/ttyUSB0", "COM7"}, {"x\\Device\\BthModem12", "COMx"}},
                        {7}, nullptr},
        EnumerationCase{"BluetoothMatchIsCaseSensitive", Values{{"\\Device\\bthmodem0", "COM5"}}, {5}, nullptr},
        EnumerationCase{"AnyThreeLeadingCharacters", Values{{"/dev/ttyACM0", "XYZ255"}}, {255}, nullptr},
        EnumerationCase{"NotANumber", Values{{"/dev/ttyS0", "COM1"}, {"/dev/odd", "COMx"}}, {}, "'x' is not a valid integer value"},
        EnumerationCase{"NothingAfterThePrefix", Values{{"/dev/odd", "COM"}}, {}, "'' is not a valid integer value"},
        EnumerationCase{"ShortData", Values{{"/dev/odd", "CO"}}, {}, "'' is not a valid integer value"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
