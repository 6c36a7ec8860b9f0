// A QApplication for the whole run of a widget test executable (tests/support/QtTestEnvironment.h).
#pragma once
#include <QApplication>

#include "tests/support/QtTestEnvironment.h"

// Registers the environment once per executable, however many sources include this header.
inline ::testing::Environment* const qtTestAppEnvironment = RegisterQtTestEnvironment<QApplication>();
