// The application's standard error report.
#include "app/ErrorReport.h"

#include "platform/hooks.h"

void ReportApplicationError(const std::string& operation, const std::string& text, THandlerKind kind) {
  TMessageBoxGuard& guard = TMessageBoxGuard::Instance();
  if (kind == THandlerKind::UserAction)
    guard.Inform(text);
  else
    guard.InformOnce(operation, text);
}

void InstallShowErrorHook() {
  platform::SetShowErrorHook([](const std::string& message) {
    ReportApplicationError(kSerialLayerOperation, message, THandlerKind::Repeating);
  });
}

TDravikApplication::TDravikApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TDravikApplication::notify(QObject* receiver, QEvent* event) {
  // Our own handlers catch their exceptions (RunHandler); this is the last line for anything
  // else thrown from inside Qt's delivery. Qt's own state after such an exception is its own
  // affair; the program reports it and goes on, as its handlers do.
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ReportApplicationError("event delivery", e.what(), THandlerKind::Repeating);
  } catch (...) {
    ReportApplicationError("event delivery", "Unknown error", THandlerKind::Repeating);
  }
  return false;
}
