// The commands that talk to an instrument: ports, read, set-time, clear. Each takes its own
// arguments (after the command's name) and returns the exit status.
#pragma once
#include <QStringList>

int RunPorts(const QStringList& args);
int RunRead(const QStringList& args);
int RunSetTime(const QStringList& args);
int RunClear(const QStringList& args);
