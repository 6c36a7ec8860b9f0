// Support for the program's window and integration tests: the program's own application for a
// whole test executable (tests/support/QtTestEnvironment.h), a message-box seam that records and
// answers, and driving the main window. Waits and port links come from tests/support.
#pragma once
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MessageBoxes.h"
#include "tests/support/DeviceMap.h"
#include "tests/support/Waits.h"

class TDravikPCMainForm;

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

// DRAVIK_ARCHIVE=off for the life of the object: a window made meanwhile has no archive, so
// "CLEAR" and "APPLY" queue their command as they do without one. For tests of the window's own
// rules; declare it before the window.
class ArchiveOff {
public:
  ArchiveOff();
  ~ArchiveOff();

private:
  bool wasSet_;
  QByteArray before_;
};

// Shows the window and waits until its port list has been filled.
void ShowForm(TDravikPCMainForm& form);
// Selects "COM n" in the port list and presses "connect".
void ConnectTo(TDravikPCMainForm& form, int number);
// The group boxes of the connected view are shown (to their parent window).
bool GroupsShown(const TDravikPCMainForm& form);
