// Support for the program's window and integration tests: the application for a whole test
// executable (the program's own, pumping the serial layer's messages from the Qt loop), waiting
// on the event loop for a condition, a message-box seam that records and answers, port links in
// the test's private device-map folder, and driving the main window.
#pragma once
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MessageBoxes.h"

class TDravikPCMainForm;
class QApplication;

class AppTestEnvironment : public ::testing::Environment {
public:
  void SetUp() override;
  void TearDown() override;

private:
  std::unique_ptr<QApplication> app_;
};

// Runs the event loop until done() holds or the time-out passes; true when done() held. The
// time-out only guards against a hang: make it generous.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000);

// Runs the event loop for `ms` milliseconds. Only for showing that something does NOT happen.
void Settle(int ms);

// A message-box seam that records every box and answers confirmations with `answerYes`. While
// a box is "open" it runs `whileOpen` (a test may spin the event loop there, as a real modal box
// would).
class RecordingBoxes : public TMessageBoxSeam {
public:
  void Information(const QString& text) override;
  bool Confirm(const QString& text) override;

  QStringList shown;      // information texts, in order
  QStringList confirms;   // confirmation texts, in order
  bool answerYes = true;
  std::function<void()> whileOpen;
};

// Installs a RecordingBoxes as the guard's seam for the life of the object and forgets the
// guard's latches on both ends.
class BoxesInstalled {
public:
  BoxesInstalled();
  ~BoxesInstalled();
  RecordingBoxes& operator*() { return *boxes_; }
  RecordingBoxes* operator->() { return boxes_.get(); }

private:
  std::shared_ptr<RecordingBoxes> boxes_;
};

// comN in the test's device-map folder, pointing at `target`; removed again by UnlinkPort.
void LinkPort(int number, const std::string& target);
void UnlinkPort(int number);
// Points the existing comN at `target` in one step; the number stays claimed (a target that
// does not exist makes a port that is listed but cannot be opened, like a pulled adapter).
void RetargetPort(int number, const std::string& target);
// Links `target` under the lowest free number and returns it. Tests of one executable share
// the folder and may run at the same time: the link's creation is the claim.
int ClaimPort(const std::string& target);

// Shows the window and waits until its port list has been filled.
void ShowForm(TDravikPCMainForm& form);
// Selects "COM n" in the port list and presses "connect".
void ConnectTo(TDravikPCMainForm& form, int number);
// The group boxes of the connected view are shown (to their parent window).
bool GroupsShown(const TDravikPCMainForm& form);
