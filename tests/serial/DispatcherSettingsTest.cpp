// Line and flow settings through the DCB: what an open applies, values that leave a setting
// unchanged, the stop-bit rules, baud codes, DTR/RTS under flow control, and the flow options
// read back as they were configured.
#include <gtest/gtest.h>

#include "FakeDispatcher.h"

namespace {

class DispatcherSettings : public ::testing::Test {
protected:
  TFakeDispatcher port;
  void SetUp() override { ASSERT_EQ(port.OpenDefault(), 0); }
};

TEST_F(DispatcherSettings, OpenAppliesTheLineSettingsAndRaisesTheLines) {
  const DCB dcb = port.DeviceSettings();
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  const auto escapes = port.Escapes();
  EXPECT_NE(std::find(escapes.begin(), escapes.end(), SETDTR), escapes.end());
  EXPECT_NE(std::find(escapes.begin(), escapes.end(), SETRTS), escapes.end());
}

TEST_F(DispatcherSettings, UnchangedValuesDoNotTouchTheDevice) {
  const int writes = port.SetStateCount();
  EXPECT_EQ(port.ApplyLineSettings(0, 5, 3, 9), 0);
  EXPECT_EQ(port.ApplyLineSettings(9600, NOPARITY, 1, 8), 0);
  EXPECT_EQ(port.SetStateCount(), writes);
}

TEST_F(DispatcherSettings, StopBitsAndTheirCode) {
  struct Case {
    int stopBits, dataBits;
    BYTE code;
  };
  for (const Case& c : {Case{0, 8, ONESTOPBIT}, Case{1, 8, ONESTOPBIT}, Case{2, 8, TWOSTOPBITS},
                        Case{4, 7, TWOSTOPBITS}, Case{1, 5, ONE5STOPBITS}, Case{2, 5, ONE5STOPBITS}}) {
    ASSERT_EQ(port.ApplyLineSettings(9600, NOPARITY, c.stopBits, c.dataBits), 0);
    EXPECT_EQ(port.DeviceSettings().StopBits, c.code) << c.stopBits << " stop, " << c.dataBits << " data";
    EXPECT_EQ(port.DeviceSettings().ByteSize, c.dataBits);
    int baud, parity, stop, data;
    port.ReadLineSettings(baud, parity, stop, data);
    EXPECT_EQ(stop, c.code == ONESTOPBIT ? 1 : 2);
  }
}

TEST_F(DispatcherSettings, OldBaudCodesAreReadAsRates) {
  struct Case {
    int code, baud;
  };
  // 110 baud last: the next change would wait for 18 characters at 110 baud.
  for (const Case& c : {Case{0xFF16, 9600}, Case{0xFF1B, 38400}, Case{0xFF27, 256000},
                        Case{0xFEFF, 115200}, Case{0xFF19, 0xFF19}, Case{57600, 57600},
                        Case{0xFF10, 110}}) {
    ASSERT_EQ(port.ApplyLineSettings(c.code, 5, 3, 9), 0);
    int baud, parity, stop, data;
    port.ReadLineSettings(baud, parity, stop, data);
    EXPECT_EQ(baud, c.baud) << std::hex << c.code;
  }
}

TEST_F(DispatcherSettings, LinesUnderFlowControlAreNotDriven) {
  ASSERT_EQ(port.ConfigureHardwareFlow(3000, 500, hfUseDTR | hfUseRTS | hfRequireCTS), 0);
  EXPECT_EQ(port.DriveDTR(false), 1);
  EXPECT_EQ(port.DriveRTS(false), 1);
  const DCB dcb = port.DeviceSettings();
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  EXPECT_EQ(dcb.XoffLim, 4096 - 3000);
  EXPECT_EQ(dcb.XonLim, 500);
  ASSERT_EQ(port.ConfigureHardwareFlow(0, 0, 0), 0);
  EXPECT_EQ(port.DeviceSettings().fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(port.DriveDTR(false), 0);
  EXPECT_EQ(port.Escapes().back(), CLRDTR);
}

TEST_F(DispatcherSettings, FlowThresholdsAreChecked) {
  EXPECT_EQ(port.ConfigureHardwareFlow(100, 200, hfUseRTS), ecBadArgument);
  EXPECT_EQ(port.ConfigureHardwareFlow(5000, 200, hfUseRTS), ecBadArgument);
  EXPECT_EQ(port.ConfigureSoftwareFlow(100, 200, sfReceiveFlow), ecBadArgument);
  EXPECT_EQ(port.ConfigureSoftwareFlow(4097, 0, sfReceiveFlow), ecBadArgument);
}

TEST_F(DispatcherSettings, FlowSettingsReadBackAsConfigured) {
  struct Case {
    int hw, sw;
  };
  for (const Case& c : {Case{hfUseDTR | hfRequireDSR, sfTransmitFlow | sfReceiveFlow},
                        Case{hfUseRTS | hfRequireCTS, sfReceiveFlow}, Case{0, sfTransmitFlow},
                        Case{0, 0}}) {
    ASSERT_EQ(port.ConfigureHardwareFlow(3000, 1000, c.hw), 0);
    if (c.sw)
      ASSERT_EQ(port.ConfigureSoftwareFlow(3000, 1000, c.sw), 0);
    else
      ASSERT_EQ(port.DisableSoftwareFlow(), 0);
    int hw, sw;
    uint8_t xon, xoff;
    port.ReadFlowSettings(hw, sw, xon, xoff);
    EXPECT_EQ(hw, c.hw);
    EXPECT_EQ(sw, c.sw);
  }
  ASSERT_EQ(port.SetFlowCharacters('A', 'B'), 0);
  int hw, sw;
  uint8_t xon, xoff;
  port.ReadFlowSettings(hw, sw, xon, xoff);
  EXPECT_EQ(xon, 'A');
  EXPECT_EQ(xoff, 'B');
}

TEST_F(DispatcherSettings, OptionFlags) {
  port.SetOptionFlags(4 | 1);
  port.ClearOptionFlags(1);
  EXPECT_EQ(port.GetOptionFlags(), 4u);
}

}  // namespace
