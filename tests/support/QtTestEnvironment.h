// The application of a whole test executable: created before the first test and destroyed after
// the last one (a static application would die after Qt's own statics). Its event loop pumps the
// platform's window messages as the programs' loops do, each test process links its ports in a
// device-map folder of its own, and `start` installs what the executable's tests need (their
// error hook, the program's name). App is QCoreApplication, QApplication or the program's own.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/qt/qtpump.h"
#include "tests/support/DeviceMap.h"

template <class App>
class QtTestEnvironment : public ::testing::Environment {
public:
  explicit QtTestEnvironment(std::function<void()> start = {}) : start_(std::move(start)) {}
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dravik-test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<App>(argc, argv);
    platform::InstallQtMessagePump();
    UsePrivateDeviceMapFolder();
    if (start_) start_();
  }
  void TearDown() override {
    RemovePrivateDeviceMapFolder();
    app_.reset();
  }

private:
  std::function<void()> start_;
  std::unique_ptr<App> app_;
};

// Registers the environment of a test executable: `static auto* env = RegisterQtTestEnvironment<App>(...)`.
template <class App>
::testing::Environment* RegisterQtTestEnvironment(std::function<void()> start = {}) {
  return ::testing::AddGlobalTestEnvironment(new QtTestEnvironment<App>(std::move(start)));
}
