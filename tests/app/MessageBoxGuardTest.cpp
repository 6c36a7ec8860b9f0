// The message-box guard: one box at a time, repeated failures shown once until their operation
// succeeds, confirmations, and the listeners told when a box has closed.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/ErrorReport.h"
#include "app/MessageBoxes.h"
#include "platform/hooks.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/QStringPrinter.h"

namespace {

class GuardTest : public ::testing::Test {
protected:
  TMessageBoxGuard& guard = TMessageBoxGuard::Instance();
  BoxesInstalled boxes;
};

TEST_F(GuardTest, ARepeatedFailureIsShownOnceUntilItsOperationSucceeds) {
  EXPECT_TRUE(guard.InformOnce("transmit", "Problem Comms tx"));
  EXPECT_FALSE(guard.InformOnce("transmit", "Problem Comms tx"));
  EXPECT_TRUE(guard.InformOnce("receive", "Problem Comms rx"));  // another operation
  EXPECT_TRUE(guard.InformOnce("transmit", "Another text"));      // another text
  guard.Succeeded("receive");
  EXPECT_FALSE(guard.InformOnce("transmit", "Another text"));
  guard.Succeeded("transmit");
  EXPECT_TRUE(guard.InformOnce("transmit", "Another text"));
  EXPECT_EQ(boxes->shown, (QStringList{"Problem Comms tx", "Problem Comms rx", "Another text", "Another text"}));
}

TEST_F(GuardTest, UserActionsAreToldEveryTime) {
  EXPECT_TRUE(guard.Inform("Problem opening comm port"));
  EXPECT_TRUE(guard.Inform("Problem opening comm port"));
  EXPECT_EQ(boxes->shown.size(), 2);
}

TEST_F(GuardTest, OnlyOneBoxIsOpenAtATime) {
  bool nestedInform = true, nestedOnce = true, nestedConfirm = true, openInside = false;
  boxes->whileOpen = [&] {
    openInside = guard.BoxOpen();
    boxes->whileOpen = nullptr;
    nestedInform = guard.Inform("second");
    nestedOnce = guard.InformOnce("op", "third");
    nestedConfirm = guard.Confirm("sure?");
  };
  EXPECT_TRUE(guard.Inform("first"));
  EXPECT_TRUE(openInside);
  EXPECT_FALSE(nestedInform);
  EXPECT_FALSE(nestedOnce);
  EXPECT_FALSE(nestedConfirm) << "a confirmation that cannot be asked counts as No";
  EXPECT_FALSE(guard.BoxOpen());
  EXPECT_EQ(boxes->shown, QStringList{"first"});
  EXPECT_TRUE(boxes->confirms.isEmpty());
  // A failure that could not be shown is not latched: it is shown at its next occurrence.
  EXPECT_TRUE(guard.InformOnce("op", "third"));
}

TEST_F(GuardTest, ConfirmationsAnswerYesOrNo) {
  boxes->answerYes = true;
  EXPECT_TRUE(guard.Confirm("Results will be erased, proceed?"));
  boxes->answerYes = false;
  EXPECT_FALSE(guard.Confirm("Results will be erased, proceed?"));
  EXPECT_EQ(boxes->confirms.size(), 2);
}

TEST_F(GuardTest, ListenersHearOfEveryClosedBoxAfterItClosed) {
  int calls = 0;
  bool openDuringCall = true;
  const int token = guard.AddClosedListener([&] {
    ++calls;
    openDuringCall = guard.BoxOpen();
  });
  guard.Inform("one");
  guard.Confirm("two?");
  guard.Inform("three");
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(openDuringCall);
  guard.RemoveClosedListener(token);
  guard.Inform("four");
  EXPECT_EQ(calls, 3);
}

TEST_F(GuardTest, TheBoxClosesEvenWhenShowingItFails) {
  boxes->whileOpen = [] { throw std::runtime_error("no display"); };
  EXPECT_THROW(guard.Inform("first"), std::runtime_error);
  EXPECT_FALSE(guard.BoxOpen());
}

TEST_F(GuardTest, HandlersReportWhatEscapesThem) {
  auto failing = [] { throw std::runtime_error("broken"); };
  RunHandler("tick", THandlerKind::Repeating, failing);
  RunHandler("tick", THandlerKind::Repeating, failing);
  RunHandler("click", THandlerKind::UserAction, failing);
  RunHandler("click", THandlerKind::UserAction, failing);
  EXPECT_EQ(boxes->shown, (QStringList{"broken", "broken", "broken"}));
  RunHandler("tick", THandlerKind::Repeating, [] {});  // a success: the next failure is news
  RunHandler("tick", THandlerKind::Repeating, failing);
  EXPECT_EQ(boxes->shown.size(), 4);
}

TEST_F(GuardTest, SerialLayerErrorsAreShownOnceUntilTheLinkWorksAgain) {
  platform::ShowErrorMessage("Device not ready");
  platform::ShowErrorMessage("Device not ready");
  EXPECT_EQ(boxes->shown, QStringList{"Device not ready"});
  guard.Succeeded(kSerialLayerOperation);  // a valid reply came in
  platform::ShowErrorMessage("Device not ready");
  EXPECT_EQ(boxes->shown.size(), 2);
}

}  // namespace
