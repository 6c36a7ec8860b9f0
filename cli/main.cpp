// dravik: the command line of dravikPC for test stations, fleets and scripts. It reads the
// instrument through the same session as the window and works on the same archive. Messages go
// to standard error, data to standard output; the exit status says how it went (ExitStatus.h).
#include <QApplication>
#include <QCoreApplication>
#include <memory>
#include <clocale>
#include <functional>
#include <map>

#include "archive/Archive.h"
#include "cli/CommandLine.h"
#include "cli/ExitStatus.h"
#include "cli/InstrumentCommands.h"
#include "cli/RecordsCommands.h"
#include "platform/hooks.h"
#include "platform/qt/qtpump.h"

namespace {

const char* const kUsage =
    "Usage: dravik <command> [options]\n"
    "\n"
    "Commands:\n"
    "  ports      the serial ports, as dravikPC lists them\n"
    "  read       read the instrument on a port and print the read-out\n"
    "  set-time   set the instrument's clock to the PC's local time\n"
    "  clear      keep the instrument's results, then erase them\n"
    "  records    the kept read-outs: list, show, export, report, annotate\n"
    "  regimes    the regimes verdicts can be given under (--regime)\n"
    "\n"
    "\"dravik <command> --help\" describes a command; \"dravik --version\" prints the version.\n";

const std::map<QString, std::function<int(const QStringList&)>>& Commands() {
  static const std::map<QString, std::function<int(const QStringList&)>> commands{
      {QStringLiteral("ports"), RunPorts},
      {QStringLiteral("read"), RunRead},
      {QStringLiteral("set-time"), RunSetTime},
      {QStringLiteral("clear"), RunClear},
      {QStringLiteral("records"), RunRecords},
      {QStringLiteral("regimes"), RunRegimes},
  };
  return commands;
}

// The application: QtCore only, but for the one command that lays out and prints a report (on
// the offscreen platform where there is no display).
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (!NeedsWidgets(args)) return std::make_unique<QCoreApplication>(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("dravikPC"));
  QCoreApplication::setApplicationVersion(QStringLiteral(DRAVIK_VERSION));
  // Numbers are shown with the user's decimal separator, as in the window.
  std::setlocale(LC_ALL, "");
  // The port component's messages are handled by this event loop; the serial layer's error
  // reports become messages on standard error.
  platform::InstallQtMessagePump();
  platform::SetShowErrorHook([](const std::string& message) { Say(QString::fromStdString(message).trimmed()); });
  // The archive's driver before any port opens (see LoadDriver).
  archive::LoadDriver(archive::LocationFromEnvironment());

  const QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty()) {
    Say(QString::fromLatin1(kUsage));
    return kExitUsage;
  }
  const QString& command = args.front();
  if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
    Print(QString::fromLatin1(kUsage));
    return kExitDone;
  }
  if (command == QStringLiteral("--version")) {
    Print(QStringLiteral("dravik ") + QStringLiteral(DRAVIK_VERSION));
    return kExitDone;
  }
  const auto found = Commands().find(command);
  if (found == Commands().end()) {
    Say(QStringLiteral("dravik: unknown command \"%1\"\n\n").arg(command) + QString::fromLatin1(kUsage));
    return kExitUsage;
  }
  return found->second(args.mid(1));
}
