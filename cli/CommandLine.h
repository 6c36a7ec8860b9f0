// Parsing one command's options with QCommandLineParser: usage errors go to standard error and
// become exit status 2, "--help" prints the command's help to standard output.
#pragma once
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

// A parser for `dravik <command>` with its description and positional argument syntax, "--help"
// already added.
struct CommandParser {
  CommandParser(const QString& command, const QString& description);
  QCommandLineParser parser;
  QString command;
};

// Parses `args` (the command's own, without the program and the command name). Returns the exit
// status to end with now (help shown: 0; a usage error: 2), or nothing to go on.
std::optional<int> ParseCommand(CommandParser& p, const QStringList& args);

// Says `text` on standard error as a usage error of `command` and returns exit status 2.
int UsageError(const QString& command, const QString& text);

// The value of a whole-number option, or nothing (with a usage message) when it is not one in
// [min, max].
std::optional<int> IntOption(const CommandParser& p, const QString& name, int min, int max);

// Messages and data: messages go to standard error, data to standard output.
void Say(const QString& text);
void Print(const QString& text);
