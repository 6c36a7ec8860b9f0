// Support for the program's window and integration tests.
#include "tests/app/AppTestSupport.h"

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "platform/portmap.h"
#include "platform/qt/qtpump.h"

namespace fs = std::filesystem;

void AppTestEnvironment::SetUp() {
  static int argc = 1;
  static char name[] = "dravik-app-test";
  static char* argv[] = {name, nullptr};
  app_ = std::make_unique<TDravikApplication>(argc, argv);
  QApplication::setApplicationName(QStringLiteral("dravikPC"));
  platform::InstallQtMessagePump();
  InstallShowErrorHook();
  fs::create_directories(platform::DeviceMapFolder());
}

void AppTestEnvironment::TearDown() { app_.reset(); }

static ::testing::Environment* const appTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppTestEnvironment);

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  return QTest::qWaitFor(done, timeoutMs);
}

void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QTest::qWait(10);
}

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

void LinkPort(int number, const std::string& target) {
  const fs::path link = fs::path(platform::DeviceMapFolder()) / ("com" + std::to_string(number));
  std::error_code ignored;
  fs::remove(link, ignored);
  fs::create_symlink(target, link);
}

void RetargetPort(int number, const std::string& target) {
  const fs::path folder(platform::DeviceMapFolder());
  const fs::path temporary = folder / ("retarget-" + std::to_string(::getpid()) + "-" + std::to_string(number));
  std::error_code ignored;
  fs::remove(temporary, ignored);
  fs::create_symlink(target, temporary);
  fs::rename(temporary, folder / ("com" + std::to_string(number)));  // replaces the link atomically
}

int ClaimPort(const std::string& target) {
  for (int number = 1; number <= 255; ++number) {
    std::error_code taken;
    fs::create_symlink(target, fs::path(platform::DeviceMapFolder()) / ("com" + std::to_string(number)), taken);
    if (!taken) return number;
  }
  ADD_FAILURE() << "no free port number in " << platform::DeviceMapFolder();
  return 0;
}

void UnlinkPort(int number) {
  std::error_code ignored;
  fs::remove(fs::path(platform::DeviceMapFolder()) / ("com" + std::to_string(number)), ignored);
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
