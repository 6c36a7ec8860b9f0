// Triggers: handle numbering and its limits, bad arguments and handles, timers firing through
// the dispatch pass, status triggers (modem, line, output), data triggers and their matcher,
// and keeping handles across a reopen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeDispatcher.h"
#include "TestClock.h"

namespace {

class DispatcherTriggers : public ::testing::Test {
protected:
  TFakeDispatcher port;
  TTriggerWindow window;

  void SetUp() override {
    ASSERT_EQ(port.OpenDefault(), 0);
    port.AttachWindow(window.Window());
    port.RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
  }

  void Pass(DWORD events = 0) {
    port.SignalEvent(events);
    port.DispatchPass();
  }

  std::vector<WPARAM> Fired(UINT msg) {
    std::vector<WPARAM> handles;
    for (const auto& m : window.Messages())
      if (m.Msg == msg) handles.push_back(m.wParam);
    return handles;
  }
};

TEST_F(DispatcherTriggers, HandlesAreMultiplesOfEightWithTheStatusKindInTheLowBits) {
  EXPECT_EQ(port.NewTimerTrigger(), 8);
  EXPECT_EQ(port.NewStatusTrigger(stOutBuffFree), 16 + stOutBuffFree);
  EXPECT_EQ(port.AddDataTrigger("OK", false), 24);
  EXPECT_EQ(port.NewStatusTrigger(stNotActive), 32);
}

TEST_F(DispatcherTriggers, BadArgumentsAndHandles) {
  const int timer = port.NewTimerTrigger();
  const int status = port.NewStatusTrigger(stOutSent);
  struct Case {
    const char* what;
    int result;
    int expected;
  };
  const Case cases[] = {
      {"status kind 6", port.NewStatusTrigger(6), ecBadArgument},
      {"status kind -1", port.NewStatusTrigger(-1), ecBadArgument},
      {"arm status with a timer handle", port.ArmStatusTrigger(timer, 0, true), ecBadTriggerHandle},
      {"arm timer with a status handle", port.ArmTimerTrigger(status, 1, true), ecBadTriggerHandle},
      {"arm status without its kind bits", port.ArmStatusTrigger(status & ~7, 0, true),
       ecBadTriggerHandle},
      {"delete an unknown handle", port.DeleteTrigger(4000), ecBadTriggerHandle},
      {"empty data trigger", port.AddDataTrigger("", false), ecBadArgument},
      {"data trigger of 23 bytes", port.AddDataTrigger(std::string(23, 'x'), false), ecTriggerTooLong},
      {"delete the timer", port.DeleteTrigger(timer), 0},
      {"delete it again", port.DeleteTrigger(timer), ecBadTriggerHandle},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
}

TEST_F(DispatcherTriggers, AfterTheCounterRunsOutFreedLowHandlesAreReused) {
  int last = 0;
  for (int i = 0; i < 4095; ++i) last = port.NewTimerTrigger();
  EXPECT_EQ(last, 4095 * 8);
  EXPECT_EQ(port.NewTimerTrigger(), ecNoMoreTriggers);
  EXPECT_EQ(port.NewStatusTrigger(stModem), ecNoMoreTriggers);
  ASSERT_EQ(port.DeleteTrigger(80), 0);
  ASSERT_EQ(port.DeleteTrigger(4096), 0);
  ASSERT_EQ(port.DeleteTrigger(last), 0);
  EXPECT_EQ(port.NewStatusTrigger(stLine), 80 + stLine);
  EXPECT_EQ(port.NewTimerTrigger(), 4096);
  // Handles above 4096 are not issued again.
  EXPECT_EQ(port.NewTimerTrigger(), ecNoMoreTriggers);
}

TEST_F(DispatcherTriggers, TimerFiresOnceAtTheFirstPassAfterItIsDue) {
  TTestClock clock(55 * 20000);
  const int timer = port.NewTimerTrigger();
  ASSERT_EQ(port.ArmTimerTrigger(timer, 2, true), 0);
  clock.Advance(2 * 55);
  Pass();
  EXPECT_TRUE(Fired(TriggerTimerMessage).empty());
  clock.Advance(55);
  Pass();
  Pass();
  EXPECT_EQ(Fired(TriggerTimerMessage), (std::vector<WPARAM>{static_cast<WPARAM>(timer)}));
  // Arming with 0 ticks reuses the interval of 2.
  ASSERT_EQ(port.ArmTimerTrigger(timer, 0, true), 0);
  clock.Advance(2 * 55);
  Pass();
  EXPECT_EQ(Fired(TriggerTimerMessage).size(), 1u);
  clock.Advance(55);
  Pass();
  EXPECT_EQ(Fired(TriggerTimerMessage).size(), 2u);
  // Deactivated, it stays silent.
  ASSERT_EQ(port.ArmTimerTrigger(timer, 1, true), 0);
  ASSERT_EQ(port.ArmTimerTrigger(timer, 0, false), 0);
  clock.Advance(10 * 55);
  Pass();
  EXPECT_EQ(Fired(TriggerTimerMessage).size(), 2u);
}

TEST_F(DispatcherTriggers, OutputSentFiresOncePerArming) {
  const int sent = port.NewStatusTrigger(stOutSent);
  ASSERT_EQ(port.ArmStatusTrigger(sent, 0, true), 0);
  Pass();
  EXPECT_TRUE(Fired(TriggerStatusMessage).empty());
  ASSERT_EQ(port.WriteBytes("ab", 2), 0);
  Pass();
  Pass();
  EXPECT_EQ(Fired(TriggerStatusMessage), (std::vector<WPARAM>{static_cast<WPARAM>(sent)}));
  ASSERT_EQ(port.WriteBytes("c", 1), 0);
  Pass();
  EXPECT_EQ(Fired(TriggerStatusMessage).size(), 1u);
  ASSERT_EQ(port.ArmStatusTrigger(sent, 0, true), 0);
  Pass();
  EXPECT_EQ(Fired(TriggerStatusMessage).size(), 2u);
}

TEST_F(DispatcherTriggers, OutputBufferTriggersCarryTheCountInLParam) {
  const int freeTrigger = port.NewStatusTrigger(stOutBuffFree);
  const int usedTrigger = port.NewStatusTrigger(stOutBuffUsed);
  ASSERT_EQ(port.WriteBytes(std::string(1000, 'x').data(), 1000), 0);
  ASSERT_EQ(port.ArmStatusTrigger(freeTrigger, 3500, true), 0);
  ASSERT_EQ(port.ArmStatusTrigger(usedTrigger, 10, true), 0);
  Pass();
  EXPECT_TRUE(Fired(TriggerStatusMessage).empty());
  port.TakeWritten();
  Pass();
  const auto messages = window.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].wParam, static_cast<WPARAM>(freeTrigger));
  EXPECT_EQ(LOWORD(messages[0].lParam), 4096);
  EXPECT_EQ(HIWORD(messages[0].lParam), port.Handle());
  EXPECT_EQ(messages[1].wParam, static_cast<WPARAM>(usedTrigger));
  EXPECT_EQ(LOWORD(messages[1].lParam), 0);
}

TEST_F(DispatcherTriggers, ModemStatusTriggerFiresWhenAMaskedLineChanges) {
  port.SetModemLines(MS_CTS_ON | MS_DSR_ON);
  Pass();
  const int modem = port.NewStatusTrigger(stModem);
  ASSERT_EQ(port.ArmStatusTrigger(modem, msCTS, true), 0);
  port.SetModemLines(MS_CTS_ON);  // DSR is not in the mask
  Pass(EV_DSR);
  EXPECT_TRUE(Fired(TriggerStatusMessage).empty());
  port.SetModemLines(0);
  Pass(EV_CTS);
  Pass(EV_CTS);
  EXPECT_EQ(Fired(TriggerStatusMessage), (std::vector<WPARAM>{static_cast<WPARAM>(modem)}));
  // The change bit is kept for the reader until taken.
  EXPECT_EQ(port.SampleModemStatus(0xF0) & msDeltaCTS, msDeltaCTS);
  EXPECT_EQ(port.LineCTS(), 0);
}

TEST_F(DispatcherTriggers, LineStatusTriggerFiresOnAMaskedError) {
  const int line = port.NewStatusTrigger(stLine);
  ASSERT_EQ(port.ArmStatusTrigger(line, 0x02 /* parity */, true), 0);
  port.InjectLineErrors(CE_FRAME);
  Pass(EV_ERR);
  EXPECT_TRUE(Fired(TriggerStatusMessage).empty());
  port.InjectLineErrors(CE_RXPARITY);
  Pass(EV_ERR);
  EXPECT_EQ(Fired(TriggerStatusMessage), (std::vector<WPARAM>{static_cast<WPARAM>(line)}));
  EXPECT_EQ(port.TakeLineError(), 3);
  EXPECT_EQ(port.TakeLineError(), 0);
}

TEST_F(DispatcherTriggers, RingEventReportsTheRingEndedBitOnce) {
  port.RingEventSeen = true;
  EXPECT_TRUE(port.RingSeen());
  EXPECT_FALSE(port.RingSeen());
}

TEST_F(DispatcherTriggers, DataTriggerAnnouncesTheBytesInFrontThenFires) {
  port.SetAvailThreshold(1);
  const int ok = port.AddDataTrigger("ok", true);
  std::string read;
  window.OnMessage([&](const TTriggerWindow::Message& m) {
    const int count = m.Msg == TriggerAvailMessage ? static_cast<int>(m.wParam)
                                                   : static_cast<int>(LOWORD(m.lParam));
    uint8_t byte;
    for (int i = 0; i < count && port.ReadByte(byte) == 0; ++i) read += static_cast<char>(byte);
    read += '|';
  });
  port.Feed("xxOKyy");
  Pass(EV_RXCHAR);
  const auto messages = window.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].Msg, TriggerAvailMessage);
  EXPECT_EQ(messages[0].wParam, 2u);
  EXPECT_EQ(messages[1].Msg, TriggerDataMessage);
  EXPECT_EQ(messages[1].wParam, static_cast<WPARAM>(ok));
  EXPECT_EQ(messages[2].Msg, TriggerAvailMessage);
  EXPECT_EQ(read, "xx|OK|yy|");
}

TEST(DataTriggerMatcher, ReportsWhereTheStringCompletes) {
  struct Case {
    std::string pattern;
    bool ignoreCase;
    std::string input;
    std::vector<size_t> matches;  // input positions that complete a match
  };
  const Case cases[] = {
      {"abc", false, "xxabcxx", {4}},
      {"aab", false, "aaab", {3}},
      {"aa", false, "aaaa", {1, 3}},
      {"abab", false, "abababab", {3, 7}},
      {"Ok", true, "oKxOK", {1, 4}},
      {"Ok", false, "oKxOk", {4}},
      {"z", false, "zaz", {0, 2}},
      {"abc", false, "abdabc", {5}},
  };
  for (const Case& c : cases) {
    TDataTrigger trigger;
    trigger.Length = static_cast<int32_t>(c.pattern.size());
    trigger.IgnoreCase = c.ignoreCase;
    for (size_t i = 0; i < c.pattern.size(); ++i)
      trigger.Data[i] = c.ignoreCase ? static_cast<char>(std::toupper(c.pattern[i])) : c.pattern[i];
    std::vector<size_t> matches;
    for (size_t i = 0; i < c.input.size(); ++i)
      if (DataTriggerMatch(trigger, static_cast<uint8_t>(c.input[i]))) matches.push_back(i);
    EXPECT_EQ(matches, c.matches) << c.pattern << " in " << c.input;
  }
}

TEST(TriggerReinstall, HandlesSurviveAReopenAndNewOnesDoNotCollide) {
  TriggerSaveRecord saved;
  int timer, status;
  {
    TFakeDispatcher first;
    ASSERT_EQ(first.OpenDefault(), 0);
    first.SetAvailThreshold(3);
    timer = first.NewTimerTrigger();
    first.NewTimerTrigger();
    status = first.NewStatusTrigger(stOutSent);
    first.SnapshotTriggers(saved);
    first.ClosePort();
  }
  TFakeDispatcher second;
  ASSERT_EQ(second.OpenDefault(), 0);
  second.ReinstallTriggers(saved);
  EXPECT_EQ(second.ArmTimerTrigger(timer, 5, true), 0);
  EXPECT_EQ(second.ArmStatusTrigger(status, 0, true), 0);
  const int fresh = second.NewTimerTrigger();
  EXPECT_GT(fresh, status);
  EXPECT_EQ(fresh % 8, 0);
  // A snapshot replaces what the record held.
  second.DeleteTrigger(timer);
  second.SnapshotTriggers(saved);
  EXPECT_EQ(saved.TimerTriggers.size(), 2u);
  EXPECT_EQ(saved.StatusTriggers.size(), 1u);
  EXPECT_EQ(saved.AvailThreshold, 3);
}

}  // namespace
