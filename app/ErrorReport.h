// The application's standard error report: an exception that escapes an event handler is shown
// in a message box with its message, and the program goes on. Handlers the program connects run
// through RunHandler; TDravikApplication::notify catches whatever still gets through Qt's event
// delivery; the serial layer reaches the same report through platform::ShowErrorMessage (the
// program installs InstallShowErrorHook). All boxes go through TMessageBoxGuard.
#pragma once
#include <QApplication>
#include <exception>
#include <string>

#include "app/MessageBoxes.h"

// How a handler's failure is reported.
enum class THandlerKind {
  UserAction,  // started by a click: every failure is shown
  Repeating,   // runs by itself (timer, activation, port events): shown once until it succeeds
};

// Shows `text` as the error report of `operation`.
void ReportApplicationError(const std::string& operation, const std::string& text, THandlerKind kind);

// Runs `handler`; an exception that leaves it is reported and goes no further. A repeating
// handler that returns normally counts as a success of `operation`.
template <class F>
void RunHandler(const char* operation, THandlerKind kind, F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ReportApplicationError(operation, e.what(), kind);
    return;
  } catch (...) {
    ReportApplicationError(operation, "Unknown error", kind);
    return;
  }
  if (kind == THandlerKind::Repeating) TMessageBoxGuard::Instance().Succeeded(operation);
}

// Makes the error report the answer to platform::ShowErrorMessage (errors raised inside the
// serial layer, shown on the user-interface thread). Latched under kSerialLayerOperation.
void InstallShowErrorHook();
inline const std::string kSerialLayerOperation = "serial layer";

// The program's QApplication: reports exceptions that escape event delivery.
class TDravikApplication : public QApplication {
public:
  TDravikApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
