// dravikPC: the desktop companion of the dravik brake-test decelerometer. One window; no
// command-line options, settings or files of its own. Closing the window ends the program.
#include <clocale>

#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "archive/Archive.h"
#include "platform/qt/qtpump.h"
#include "serial/AdSelCom.h"

int main(int argc, char** argv) {
  TDravikApplication app(argc, argv);
  // Numbers are shown with the user's decimal separator (the C library's locale).
  std::setlocale(LC_ALL, "");
  // The name titles the message boxes. No display name: Qt would append it to every window
  // title, and the window's caption is the program's own ("dravikPC 1.0.4").
  QApplication::setApplicationName(QStringLiteral("dravikPC"));

  // The serial layer's messages to its hidden windows are handled by the Qt event loop; its
  // errors and its question for a port reach the user through the program's boxes and dialog.
  platform::InstallQtMessagePump();
  InstallShowErrorHook();
  InstallPortPromptHook();
  // The archive's driver before any port opens (see LoadDriver).
  archive::LoadDriver(archive::LocationFromEnvironment());

  int result = 0;
  {
    TDravikPCMainForm form;
    form.show();
    result = QApplication::exec();
  }  // the window, its port and its components are gone before the application
  return result;
}
