// dravik-sim as a child process of a test or of the guided tour: started with fork and exec
// (ChildProcess), its control channel on its standard input, its first output line ("COM<n>
// <tty>") read at start; each control command then gets one reply line. Killing it closes its
// pty master at once and leaves its comN link behind, dangling: a pulled cable.
#pragma once
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"

class SimProcess {
public:
  // Starts `program` (empty: the simulator of this build) with `--control stdin` and `options`
  // and waits up to `timeoutMs` for its first line. When it does not start, Number() is 0 and
  // Error() says why.
  explicit SimProcess(const QStringList& options = {}, const QString& program = {}, int timeoutMs = 10000);
  ~SimProcess();  // "quit", or SIGKILL when it does not end within 5 s
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The port number it registered (0 when it did not start) and its pty's slave.
  int Number() const { return number_; }
  const QString& Tty() const { return tty_; }
  const std::string& Error() const { return error_; }

  // One control command and its reply line, trimmed; empty when none came within `timeoutMs`.
  QString Control(const QString& line, int timeoutMs = 10000);
  // Its "state" as JSON; empty when it did not answer.
  QJsonObject State(int timeoutMs = 10000);
  // "quit": true once it said "bye" and ended with status 0 within `timeoutMs`; else `error`.
  bool Quit(int timeoutMs, std::string& error);
  // Sends `signal`, waits for the end and returns the exit status (-1: it did not exit normally).
  int Stop(int signal);
  // SIGKILL, and waits until the process has ended.
  void Kill();

private:
  std::unique_ptr<ChildProcess> process_;
  int number_ = 0;
  QString tty_;
  std::string error_;
};
