// Queueing output: the room check refuses a block whole, an exact fit fills the ring, bytes
// keep their order across the ring's end, a failed device write, and line errors that must
// not be lost when a write refreshes them.
#include <gtest/gtest.h>

#include <string>

#include "FakeDispatcher.h"

namespace {

class DispatcherOutput : public ::testing::Test {
protected:
  TFakeDispatcher port;
  void SetUp() override { ASSERT_EQ(port.OpenDefault(16), 0); }
};

TEST_F(DispatcherOutput, ABlockLargerThanTheRoomIsRefusedWhole) {
  ASSERT_EQ(port.WriteBytes("12345", 5), 0);
  EXPECT_EQ(port.OutputRoom(), 11);
  EXPECT_EQ(port.WriteBytes("abcdefghijkl", 12), ecOutputBufferTooSmall);
  EXPECT_EQ(port.OutputPending(), 5);
  EXPECT_EQ(port.WriteBytes("abcdefghijk", 11), 0);
  EXPECT_EQ(port.OutputRoom(), 0);
  EXPECT_EQ(port.OutputPending(), 16);
  EXPECT_EQ(port.WriteBytes("x", 1), ecOutputBufferTooSmall);
  EXPECT_EQ(port.TakeWritten(), "12345abcdefghijk");
  EXPECT_EQ(port.WriteBytes("", 0), 0);
}

TEST_F(DispatcherOutput, BytesKeepTheirOrderAcrossTheEndOfTheRing) {
  ASSERT_EQ(port.WriteBytes("0123456789", 10), 0);
  port.TakeWritten();
  ASSERT_EQ(port.WriteBytes("abcdefghijkl", 12), 0);
  EXPECT_EQ(port.TakeWritten(), "abcdefghijkl");
}

TEST_F(DispatcherOutput, AFailedDeviceWriteReportsPutBlockFail) {
  port.FailWrites(true);
  EXPECT_EQ(port.WriteBytes("abc", 3), ecPutBlockFail);
  port.FailWrites(false);
  EXPECT_EQ(port.OutputPending(), 0);
}

TEST_F(DispatcherOutput, DiscardOutputEmptiesTheRing) {
  ASSERT_EQ(port.WriteBytes("abc", 3), 0);
  port.DiscardOutput();
  EXPECT_EQ(port.OutputPending(), 0);
  EXPECT_EQ(port.PurgeCount(0), 1);
}

TEST_F(DispatcherOutput, LineErrorsSeenBeforeAWriteAreStillReported) {
  port.InjectLineErrors(CE_RXPARITY);
  port.SignalEvent(EV_ERR);
  port.DispatchPass();
  port.InjectLineErrors(CE_FRAME | CE_BREAK);
  ASSERT_EQ(port.WriteBytes("a", 1), 0);
  EXPECT_EQ(port.TakeLineError(), 3);  // parity, from before the write
  EXPECT_EQ(port.TakeLineError(), 9);  // framing was taken with it; the break stays
  EXPECT_TRUE(port.TakeLineBreak());
  EXPECT_FALSE(port.TakeLineBreak());
  EXPECT_EQ(port.TakeLineError(), 0);
}

}  // namespace
