// dravik-sim as a child process of a test: its control channel on standard input, its first
// output line ("COM<n> <tty>") read at start. Killing it closes its pty master at once and
// leaves its comN link behind, dangling: a pulled cable.
#pragma once
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "tests/support/ChildProcess.h"

class SimProcess {
public:
  explicit SimProcess(const QStringList& options = {});
  ~SimProcess();  // "quit", or SIGKILL when it does not end within 5 s
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The port number it registered (0 when it did not start) and its pty's slave.
  int Number() const { return number_; }
  const QString& Tty() const { return tty_; }
  // One control command and its reply line.
  QString Control(const QString& line);
  QJsonObject State();
  // SIGKILL, and waits until the process has ended.
  void Kill();

private:
  std::unique_ptr<ChildProcess> process_;
  int number_ = 0;
  QString tty_;
};
