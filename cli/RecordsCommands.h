// The commands on the archive: records list, show, export, report and annotate, and regimes.
#pragma once
#include <QStringList>

int RunRecords(const QStringList& args);
int RunRegimes(const QStringList& args);
// The records subcommand that prints a report needs a QApplication (the notes are wrapped as the
// window's notes box wraps them); main asks before it makes its application.
bool NeedsWidgets(const QStringList& args);
