// Option parsing and the two output streams.
#include "cli/CommandLine.h"

#include <cstdio>

#include "cli/ExitStatus.h"

CommandParser::CommandParser(const QString& name, const QString& description) : command(name) {
  parser.setApplicationDescription(description);
  parser.addHelpOption();
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

std::optional<int> ParseCommand(CommandParser& p, const QStringList& args) {
  // QCommandLineParser wants the program's name first.
  if (!p.parser.parse(QStringList{QStringLiteral("dravik ") + p.command} + args))
    return UsageError(p.command, p.parser.errorText());
  if (p.parser.isSet(QStringLiteral("help"))) {
    Print(p.parser.helpText());
    return kExitDone;
  }
  return std::nullopt;
}

int UsageError(const QString& command, const QString& text) {
  Say(QStringLiteral("dravik %1: %2\nTry \"dravik %1 --help\".").arg(command, text));
  return kExitUsage;
}

std::optional<int> IntOption(const CommandParser& p, const QString& name, int min, int max) {
  bool ok = false;
  const int value = p.parser.value(name).toInt(&ok);
  if (!ok || value < min || value > max) {
    UsageError(p.command, QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
                              .arg(name)
                              .arg(min)
                              .arg(max)
                              .arg(p.parser.value(name)));
    return std::nullopt;
  }
  return value;
}

void Say(const QString& text) {
  const QByteArray bytes = (text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
  std::fflush(stderr);
}

void Print(const QString& text) {
  const QByteArray bytes = (text.endsWith(QLatin1Char('\n')) || text.isEmpty() ? text : text + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}
