// dravik ports: the ports as the window lists them, in the same order.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CommandLine.h"
#include "cli/ExitStatus.h"
#include "cli/InstrumentCommands.h"
#include "platform/sysutils.h"
#include "session/PortComms.h"

int RunPorts(const QStringList& args) {
  CommandParser p(QStringLiteral("ports"), QStringLiteral("The serial ports, as dravikPC lists them: COM number and device."));
  p.parser.addOption({QStringLiteral("format"), QStringLiteral("text or json (default text)."), QStringLiteral("format"),
                      QStringLiteral("text")});
  if (const auto end = ParseCommand(p, args)) return *end;
  if (!p.parser.positionalArguments().isEmpty())
    return UsageError(p.command, QStringLiteral("unexpected argument \"%1\"").arg(p.parser.positionalArguments()[0]));
  const QString format = p.parser.value(QStringLiteral("format"));
  if (format != QStringLiteral("text") && format != QStringLiteral("json"))
    return UsageError(p.command, QStringLiteral("--format is text or json, not \"%1\"").arg(format));

  std::vector<TPortEntry> ports;
  try {
    ports = EnumerateComPortEntries(platform::ReadSerialCommValues());
  } catch (const platform::Exception& e) {
    // The window shows the same conversion error; here it ends the command.
    Say(QStringLiteral("dravik ports: %1").arg(QString::fromStdString(e.what())));
    return kExitPortFailed;
  }
  if (format == QStringLiteral("json")) {
    QJsonArray list;
    for (const TPortEntry& port : ports)
      list.append(QJsonObject{{QStringLiteral("port"), port.number},
                              {QStringLiteral("device"), QString::fromStdString(port.device)}});
    Print(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented)));
    return kExitDone;
  }
  QString text;
  for (const TPortEntry& port : ports)
    text += QStringLiteral("COM %1\t%2\n").arg(port.number).arg(QString::fromStdString(port.device));
  Print(text);
  return kExitDone;
}
