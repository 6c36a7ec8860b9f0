// Support for the program's window and integration tests.
#include "tests/app/AppTestSupport.h"

#include <QApplication>

#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "tests/support/QtTestEnvironment.h"

// The program's application, with its error report, for the whole executable.
static ::testing::Environment* const appTestEnvironment = RegisterQtTestEnvironment<TDravikApplication>([] {
  QApplication::setApplicationName(QStringLiteral("dravikPC"));
  InstallShowErrorHook();
});

void RecordingBoxes::Information(const QString& text) {
  shown << text;
  if (auto run = whileOpen) run();  // a copy: the call may replace whileOpen
}

bool RecordingBoxes::Confirm(const QString& text) {
  confirms << text;
  if (auto run = whileOpen) run();
  return answerYes;
}

BoxesInstalled::BoxesInstalled() : boxes_(std::make_shared<RecordingBoxes>()) {
  TMessageBoxGuard::Instance().ResetLatches();
  TMessageBoxGuard::Instance().SetSeam(boxes_);
}

BoxesInstalled::~BoxesInstalled() {
  TMessageBoxGuard::Instance().SetSeam(nullptr);
  TMessageBoxGuard::Instance().ResetLatches();
}

ArchiveOff::ArchiveOff() : wasSet_(qEnvironmentVariableIsSet("DRAVIK_ARCHIVE")), before_(qgetenv("DRAVIK_ARCHIVE")) {
  qputenv("DRAVIK_ARCHIVE", "off");
}

ArchiveOff::~ArchiveOff() {
  if (wasSet_)
    qputenv("DRAVIK_ARCHIVE", before_);
  else
    qunsetenv("DRAVIK_ARCHIVE");
}

void ShowForm(TDravikPCMainForm& form) {
  auto reads = std::make_shared<int>(0);
  auto read = form.ReadPortValues;
  form.ReadPortValues = [reads, read] {
    ++*reads;
    return read();
  };
  form.show();
  // The first showing counts as an activation: the port list is filled from the event loop.
  EXPECT_TRUE(WaitFor([&] { return *reads > 0; }, 5000)) << "the port list was not filled";
}

void ConnectTo(TDravikPCMainForm& form, int number) {
  ASSERT_TRUE(WaitFor([&] { return form.CommsCB->findText(QStringLiteral("COM %1").arg(number)) >= 0; }, 5000))
      << "COM " << number << " is not in the port list";
  form.CommsCB->setCurrentIndex(form.CommsCB->findText(QStringLiteral("COM %1").arg(number)));
  form.ConnectBUT->click();
}

bool GroupsShown(const TDravikPCMainForm& form) {
  return !form.ConfigGB->isHidden() && !form.CalibGB->isHidden() && !form.ResultsGB->isHidden() &&
         !form.ConnectedGB->isHidden() && !form.Test1GB->isHidden() && !form.NotesGB->isHidden();
}
