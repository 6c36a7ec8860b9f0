// dravik-soak COMN SECONDS: the program's window, connected to port COM N, run for SECONDS on
// whatever Qt platform is set (offscreen for scripts/soak.sh), reporting on standard output:
//   ready                          the port list is filled and "connect" has been pressed
//   state connected|disconnected   each change of the connected view
//   box TEXT                       each message box the program showed (none is really shown)
//   alive connected|disconnected   every 10 s
// The program itself takes no options; this is the same window, components and handlers.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/DravikPCMain.h"
#include "app/ErrorReport.h"
#include "app/MessageBoxes.h"
#include "platform/qt/qtpump.h"

namespace {

void Say(const QString& line) {
  std::printf("%s\n", line.toLocal8Bit().constData());
  std::fflush(stdout);
}

// Message boxes are reported, not shown; confirmations are answered No.
class ReportedBoxes : public TMessageBoxSeam {
public:
  void Information(const QString& text) override { Say(QStringLiteral("box ") + text); }
  bool Confirm(const QString& text) override {
    Say(QStringLiteral("box ") + text);
    return false;
  }
};

bool Connected(const TDravikPCMainForm& form) {
  return form.ConnectedRB->isChecked() && !form.ConfigGB->isHidden() && !form.CalibGB->isHidden() &&
         !form.ResultsGB->isHidden() && !form.ConnectedGB->isHidden();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dravik-soak COMN SECONDS\n");
    return 2;
  }
  const int number = std::atoi(argv[1]);
  const int seconds = std::atoi(argv[2]);
  TDravikApplication app(argc, argv);
  std::setlocale(LC_ALL, "");
  QApplication::setApplicationDisplayName(QStringLiteral("dravikPC"));
  platform::InstallQtMessagePump();
  InstallShowErrorHook();
  TMessageBoxGuard::Instance().SetSeam(std::make_shared<ReportedBoxes>());

  int result = 0;
  {
    TDravikPCMainForm form;
    form.show();
    const QString entry = QStringLiteral("COM %1").arg(number);
    QTimer connect;
    QObject::connect(&connect, &QTimer::timeout, [&] {
      const int index = form.CommsCB->findText(entry);
      if (index < 0) return;  // the list is filled from the event loop after the first showing
      connect.stop();
      form.CommsCB->setCurrentIndex(index);
      form.ConnectBUT->click();
      Say(QStringLiteral("ready"));
    });
    connect.start(100);

    bool wasConnected = false;
    int quarter = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      const bool now = Connected(form);
      const QString name = now ? QStringLiteral("connected") : QStringLiteral("disconnected");
      if (now != wasConnected) Say(QStringLiteral("state ") + name);
      wasConnected = now;
      if (++quarter % 40 == 0) Say(QStringLiteral("alive ") + name);
    });
    watch.start(250);

    QTimer::singleShot(seconds * 1000, &app, [] { QApplication::quit(); });
    result = QApplication::exec();
  }
  return result;
}
