// dravik-tour: a guided tour of dravikPC for a machine without a display. It runs the program's
// real window, port and report against a real dravik-sim on Qt's offscreen platform, step by step,
// and says what each step did and where the picture and the report are. Exit code 0 when every
// step succeeded, 1 when one failed (the message names it), 2 for a usage error.
#include <QApplication>
#include <QFileInfo>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "archive/Archive.h"
#include "platform/qt/qtpump.h"
#include "tools/dravik-tour/Tour.h"
#include "tools/dravik-tour/TourOptions.h"

int main(int argc, char** argv) {
  tour::TourOptions options;
  std::string error;
  if (!tour::ParseTourOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "dravik-tour: %s\n%s", error.c_str(), tour::TourUsage().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(tour::TourUsage().c_str(), stdout);
    return 0;
  }

  // Offscreen unless the caller chose a platform: the tour needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TDravikApplication app(argc, argv);
  // The same set-up as the program's own start.
  std::setlocale(LC_ALL, "");
  QApplication::setApplicationName(QStringLiteral("dravikPC"));
  platform::InstallQtMessagePump();
  InstallShowErrorHook();
  // The archive's driver before any port opens, as the program does.
  archive::LoadDriver(archive::LocationFromEnvironment());
  // No port prompt: the port is chosen in the window's list, and nobody could answer a dialog.

#ifdef DRAVIK_TOUR_SIM
  const QString builtSim = QStringLiteral(DRAVIK_TOUR_SIM);
#else
  const QString builtSim;  // no simulator in this build (Windows): --port or --sim
#endif
  const QString sim = options.sim.empty() ? builtSim : QString::fromStdString(options.sim);
  const QString against = options.port ? QStringLiteral("the instrument on COM %1").arg(*options.port)
                                       : QFileInfo(sim).fileName();
  std::printf("dravik-tour: dravikPC against %s on Qt's %s platform\n", against.toLocal8Bit().constData(),
              qgetenv("QT_QPA_PLATFORM").constData());
  tour::Tour tour(options, sim);
  return tour.Run();
}
