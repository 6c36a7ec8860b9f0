// The connection controller over a real port: the main window talks through TApdComPort to an
// in-test instrument on a pty, which logs every request and can be told to stay silent or to
// garble its replies.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "app/DravikPCMain.h"
#include "protocol/ReplyBuilder.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/InstrumentPeer.h"

namespace {

const std::vector<std::string> kReadout = {"Q", "0", "1", "6", "ST", "820", "828", "830", "838", "840", "848"};

// A reply frame (carriage return included) with `data`, for the instrument 0123.
std::string Reply(char type, const std::string& data, const std::string& address = "0123") {
  return protocol::ReplyFrame(address, type, data) + protocol::kCarriageReturn;
}

class ControllerTest : public ::testing::Test {
protected:
  void Start() {
    ShowForm(form);
    ConnectTo(form, peer.Number());
  }
  bool WaitForRequests(std::size_t count, int timeoutMs = 15000) {
    return WaitFor([&] { return peer.Requests().size() >= count; }, timeoutMs);
  }
  bool WaitConnected(int timeoutMs = 15000) {
    return WaitFor([&] { return form.ConnectedRB->isChecked() && GroupsShown(form); }, timeoutMs);
  }
  // Connected, and the last poll has been answered: nothing is on its way between two ticks.
  bool WaitPollAnswered(int timeoutMs = 15000) {
    return WaitFor(
        [&] {
          return form.ConnectedRB->isChecked() && GroupsShown(form) && form.Session->ReplyValid && !peer.Requests().empty() &&
                 peer.Bodies().back() == "0";
        },
        timeoutMs);
  }
  // Counts the ticks of Timer1 from now on.
  std::shared_ptr<int> CountTicks() {
    auto ticks = std::make_shared<int>(0);
    QObject::connect(form.Session->Timer1->findChild<QTimer*>(), &QTimer::timeout, &form, [ticks] { ++*ticks; });
    return ticks;
  }

  BoxesInstalled boxes;
  InstrumentPeer peer;
  TDravikPCMainForm form;
};

TEST_F(ControllerTest, FirstTickComesAboutASecondAfterConnectWithTheIdentityQuery) {
  peer.answering = false;
  ShowForm(form);
  const int64_t connectedAt = PeerClockMs();
  ConnectTo(form, peer.Number());
  EXPECT_TRUE(form.Session->ApdComPort1->Open());
  EXPECT_FALSE(form.ConnectBUT->isEnabled());
  EXPECT_FALSE(form.CommsCB->isEnabled());
  EXPECT_EQ(form.Session->ApdComPort1->ComNumber(), peer.Number());
  EXPECT_EQ(form.Session->ApdComPort1->Baud(), 9600);

  ASSERT_TRUE(WaitForRequests(1));
  const int64_t delay = peer.Times()[0] - connectedAt;
  EXPECT_GE(delay, 900);
  EXPECT_LT(delay, 5000);
  EXPECT_EQ(peer.Requests()[0], "!g####Q44");
  EXPECT_EQ(form.OutLabel->text(), QStringLiteral("!g####Q44"));
  EXPECT_EQ(form.SerialEB->text(), QStringLiteral("####"));
}

TEST_F(ControllerTest, ReadsTheInstrumentInOrderThenPollsOnceASecond) {
  Start();
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(WaitForRequests(kReadout.size() + 2));
  const std::vector<std::string> bodies = peer.Bodies();
  EXPECT_EQ(std::vector<std::string>(bodies.begin(), bodies.begin() + 11), kReadout);
  // The identity query goes to "####", everything after it to the serial number.
  EXPECT_EQ(peer.Requests()[0].substr(2, 4), "####");
  for (std::size_t i = 1; i < peer.Requests().size(); ++i) EXPECT_EQ(peer.Requests()[i].substr(2, 4), "0123") << i;
  EXPECT_EQ(bodies[11], "0");
  EXPECT_EQ(bodies[12], "0");
  const int64_t pollGap = peer.Times()[12] - peer.Times()[11];
  EXPECT_GE(pollGap, 800);
  EXPECT_LT(pollGap, 3000);
  EXPECT_EQ(form.Session->Timer1->Interval(), 1000);
  EXPECT_EQ(form.SerialEB->text(), QStringLiteral("0123"));
  ASSERT_TRUE(WaitPollAnswered());
  EXPECT_EQ(form.InLabel->text().left(7), QStringLiteral(":R01230"));
  EXPECT_TRUE(form.SetTimBUT->isEnabled());
}

TEST_F(ControllerTest, WithNothingAnsweringItAsksForTheIdentityAboutOnceASecond) {
  peer.answering = false;
  Start();
  ASSERT_TRUE(WaitForRequests(3));
  for (const std::string& body : peer.Bodies()) EXPECT_EQ(body, "Q");
  const int64_t twoPeriods = peer.Times()[2] - peer.Times()[0];
  EXPECT_GE(twoPeriods, 1600);
  EXPECT_EQ(form.ConnectStepLAB->text(), QStringLiteral("0"));
  EXPECT_FALSE(form.ConnectedRB->isChecked());
  EXPECT_TRUE(form.ConfigGB->isHidden());
  EXPECT_TRUE(form.Test1GB->isHidden());
  EXPECT_FALSE(form.SetTimBUT->isEnabled());
}

TEST_F(ControllerTest, AWrongChecksumStallsTheReadoutUntilItRestartsWithTheIdentityQuery) {
  bool garbled = false;
  peer.shape = [&](const std::string& body, const std::string& reply) {
    if (body != "1" || garbled) return reply;
    garbled = true;
    std::string bad = reply;
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';  // last checksum digit
    return bad;
  };
  Start();
  ASSERT_TRUE(WaitForRequests(4));
  const std::vector<std::string> bodies = peer.Bodies();
  EXPECT_EQ(std::vector<std::string>(bodies.begin(), bodies.begin() + 4),
            (std::vector<std::string>{"Q", "0", "1", "Q"}));
  // Ten ticks of 100 ms.
  EXPECT_GE(peer.Times()[3] - peer.Times()[2], 800);
  EXPECT_TRUE(WaitConnected());
}

TEST_F(ControllerTest, AValidReplyOfAnUnknownTypeMakesTheNextTickRepeatTheRequest) {
  bool changed = false;
  peer.shape = [&](const std::string& body, const std::string& reply) {
    if (body != "6" || changed) return reply;
    changed = true;
    std::string other = reply;
    other[6] = 'Z';  // the type is not part of the checksum
    return other;
  };
  Start();
  ASSERT_TRUE(WaitForRequests(6));
  const std::vector<std::string> bodies = peer.Bodies();
  EXPECT_EQ(std::vector<std::string>(bodies.begin(), bodies.begin() + 6),
            (std::vector<std::string>{"Q", "0", "1", "6", "6", "ST"}));
  EXPECT_LT(peer.Times()[4] - peer.Times()[3], 800);  // the next tick, not a time-out
}

TEST_F(ControllerTest, CharactersAroundAFrameDoNoHarm) {
  peer.shape = [](const std::string&, const std::string& reply) { return "~?junk" + reply + "\n"; };
  Start();
  EXPECT_TRUE(WaitConnected());
  const std::vector<std::string> bodies = peer.Bodies();
  EXPECT_EQ(std::vector<std::string>(bodies.begin(), bodies.begin() + 11), kReadout);
}

// A frame without a carriage return closes when a character arrives while more than 32 have been
// collected; that character is not part of it.
struct LongFrameCase {
  const char* name;
  std::size_t frameLength;  // ':' to the last checksum digit
  bool accepted;
};

class ControllerLongFrameTest : public ControllerTest, public ::testing::WithParamInterface<LongFrameCase> {};

TEST_P(ControllerLongFrameTest, ClosesOnlyBeyond32Characters) {
  const LongFrameCase& c = GetParam();
  // A status reply padded with data digits up to the wanted length.
  const std::string data = "86E1" + std::string(c.frameLength - 13, '0');
  std::string frame = Reply('0', data);
  frame.pop_back();  // no carriage return
  ASSERT_EQ(frame.size(), c.frameLength);
  bool sent = false;
  peer.shape = [&](const std::string& body, const std::string& reply) {
    if (body != "0" || sent) return reply;
    sent = true;
    return frame + "X";
  };
  Start();
  ASSERT_TRUE(WaitForRequests(3));
  if (c.accepted) {
    EXPECT_EQ(peer.Bodies()[2], "1");
    EXPECT_LT(peer.Times()[2] - peer.Times()[1], 800);
    EXPECT_EQ(form.TempEDIT->text(), QStringLiteral(" 25.0 C"));
  } else {
    EXPECT_EQ(peer.Bodies()[2], "Q");  // the 'X' joined the frame: no valid reply, time-out
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, ControllerLongFrameTest,
                         ::testing::Values(LongFrameCase{"ThirtyThreeCharacters", 33, true},
                                           LongFrameCase{"ThirtyTwoCharacters", 32, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, APollWithoutReplyHidesTheGroupsAtTheNextTickAndRestartsTheReadout) {
  Start();
  ASSERT_TRUE(WaitPollAnswered());
  peer.answering = false;
  const std::size_t before = peer.Requests().size();
  ASSERT_TRUE(WaitFor([&] { return !GroupsShown(form); }));
  EXPECT_FALSE(form.ConnectedRB->isChecked());
  ASSERT_TRUE(WaitForRequests(before + 2));
  EXPECT_EQ(peer.Bodies()[before + 1], "Q");
  peer.answering = true;
  EXPECT_TRUE(WaitConnected());
}

TEST_F(ControllerTest, OfTwoCommandsQueuedBetweenTicksOnlyTheLaterGoesOut) {
  Start();
  ASSERT_TRUE(WaitPollAnswered());
  const std::size_t before = peer.Requests().size();
  form.SetTimBUT->click();  // "T..."
  form.ClearBUT->click();   // "9...", replaces it
  ASSERT_TRUE(WaitForRequests(before + 1));
  EXPECT_EQ(peer.Bodies()[before], "9140400206419B000");
  ASSERT_TRUE(WaitForRequests(before + 3));
  for (const std::string& body : peer.Bodies()) EXPECT_NE(body[0], 'T');
  // The '9' reply restarts the read-out.
  EXPECT_EQ(peer.Bodies()[before + 1], "Q");
}

TEST_F(ControllerTest, TheLightsTrackThePortFromConnect) {
  EXPECT_FALSE(form.ApdSLController1->Tracking());
  Start();
  EXPECT_TRUE(form.ApdSLController1->Tracking());
  EXPECT_EQ(form.ApdSLController1->Lights()->RXDLight(), form.LightRX);
  EXPECT_EQ(form.ApdSLController1->Lights()->TXDLight(), form.LightTX);
  EXPECT_TRUE(WaitFor([&] { return form.LightRX->Lit(); }));
  EXPECT_TRUE(WaitFor([&] { return form.LightTX->Lit(); }));
}

TEST_F(ControllerTest, ActivatingTheWindowWhileTheCycleRunsDoesNotStopIt) {
  Start();
  ASSERT_TRUE(WaitConnected());
  form.FormActivate(&form);  // rebuilds the port list, closing the port
  EXPECT_TRUE(form.ConnectBUT->isEnabled());
  EXPECT_FALSE(form.CommsCB->isEnabled());
  EXPECT_TRUE(form.Session->Timer1->Enabled());
  const std::size_t before = peer.Requests().size();
  // The next tick reopens the port with the same number and the cycle goes on.
  ASSERT_TRUE(WaitForRequests(before + 2));
  EXPECT_TRUE(form.Session->ApdComPort1->Open());
  EXPECT_EQ(form.Session->ApdComPort1->ComNumber(), peer.Number());
  EXPECT_TRUE(WaitConnected());
}

TEST_F(ControllerTest, FinishClosesThePortAndNothingIsSentAfterwards) {
  Start();
  ASSERT_TRUE(WaitPollAnswered());
  form.FinishBUT->click();
  EXPECT_TRUE(form.isHidden());
  EXPECT_FALSE(form.Session->ApdComPort1->Open());
  const std::size_t after = peer.Requests().size();
  Settle(1500);
  EXPECT_EQ(peer.Requests().size(), after);
  EXPECT_FALSE(form.Session->ApdComPort1->Open());
}

// --- The message-box guard in the running program ----------------------------------------------

TEST_F(ControllerTest, AFailingTransmissionIsShownOnceUntilASendHasSucceeded) {
  Start();
  ASSERT_TRUE(WaitConnected());
  auto ticks = CountTicks();
  // The adapter goes: the rebuilt port list closes the port, and every reopen fails.
  const std::string pulled = peer.Pty().slavePath() + "-pulled";
  RetargetPort(peer.Number(), pulled);
  form.FormActivate(&form);
  ASSERT_TRUE(WaitFor([&] { return boxes->shown.size() == 1; }));
  EXPECT_EQ(boxes->shown[0], QStringLiteral("Problem Comms tx"));
  const int failedAt = *ticks;
  ASSERT_TRUE(WaitFor([&] { return *ticks >= failedAt + 3; }));
  EXPECT_EQ(boxes->shown.size(), 1);
  EXPECT_TRUE(form.Session->Timer1->Enabled());

  // It comes back: the next tick sends again.
  const std::size_t before = peer.Requests().size();
  RetargetPort(peer.Number(), peer.Pty().slavePath());
  ASSERT_TRUE(WaitForRequests(before + 1));
  // And goes again: this failure is news.
  RetargetPort(peer.Number(), pulled);
  form.FormActivate(&form);
  ASSERT_TRUE(WaitFor([&] { return boxes->shown.size() == 2; }));
  EXPECT_EQ(boxes->shown[1], QStringLiteral("Problem Comms tx"));
}

TEST_F(ControllerTest, TicksAndReceivedBytesWaitWhileABoxIsOpen) {
  Start();
  ASSERT_TRUE(WaitPollAnswered());
  // The next poll goes out but is not answered yet.
  peer.answering = false;
  const std::size_t polled = peer.Requests().size() + 1;
  ASSERT_TRUE(WaitForRequests(polled));
  auto ticks = CountTicks();
  boxes->answerYes = false;
  QString labelWhileOpen = QStringLiteral("unset");
  boxes->whileOpen = [&] {
    // The reply arrives while the box is open; three ticks pass.
    const auto answer = peer.Instrument().Handle(peer.Requests().back(), PeerClockMs());
    ASSERT_TRUE(answer.has_value());
    peer.Write(answer->reply);
    ASSERT_TRUE(WaitFor([&] { return *ticks >= 3; }));
    labelWhileOpen = form.InLabel->text();
  };
  form.ConfigBUTClick(form.ConfigBUT);  // "Results will be erased, proceed?" -> No
  EXPECT_EQ(boxes->confirms, QStringList{QStringLiteral("Results will be erased, proceed?")});
  EXPECT_EQ(peer.Requests().size(), polled) << "a request went out while the box was open";
  EXPECT_EQ(labelWhileOpen, QString()) << "the reply was handled while the box was open";
  // Taken as soon as the box closed: nothing was lost, so the poll counts as answered.
  EXPECT_EQ(form.InLabel->text().left(7), QStringLiteral(":R01230"));
  EXPECT_TRUE(form.Session->ReplyValid);
  peer.answering = true;
  ASSERT_TRUE(WaitForRequests(polled + 2));
  EXPECT_TRUE(form.ConnectedRB->isChecked());
  EXPECT_EQ(peer.Bodies()[polled], "0");
}

}  // namespace
