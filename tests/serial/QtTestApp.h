// A QApplication for the whole run of a widget test executable, created before the first test
// and destroyed after the last one (a static QApplication would die after Qt's own statics).
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

class QtTestAppEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dravik-test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

private:
  std::unique_ptr<QApplication> app_;
};

// Registers the environment once per executable, however many sources include this header.
inline ::testing::Environment* const qtTestAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestAppEnvironment);
