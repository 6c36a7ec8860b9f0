// dravik-sim as a child process of the tour, its control channel on the child's stdin. Its first
// output line says where it is ("COM<n> <tty>"); each control command then gets one reply line.
// When the tour ends, however it ends, the child's stdin closes and the simulator ends with it.
#pragma once
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace tour {

class SimProcess {
public:
  SimProcess() = default;
  // Asks it to quit, and kills it if it has not ended within a few seconds.
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts `program --control stdin args...` and waits for its first line. False with `error`
  // set when it cannot start, ends, or says nothing within `timeoutMs`.
  bool Start(const QString& program, const QStringList& args, int timeoutMs, std::string& error);

  int Number() const { return number_; }  // its COM number
  QString Tty() const { return tty_; }

  // Sends one control command and returns its reply line (nothing on time-out or exit).
  std::optional<QString> Control(const QString& command, int timeoutMs);
  // The instrument's state ("state"), or nothing.
  std::optional<QJsonObject> State(int timeoutMs);

  // "quit", then waits for the process to end. False with `error` set unless it said "bye" and
  // ended with exit code 0 within `timeoutMs`.
  bool Quit(int timeoutMs, std::string& error);

private:
  std::optional<QString> ReadLine(int timeoutMs);
  // What the simulator wrote to stderr and how it ended, for a failure message.
  std::string Why();

  QProcess process_;
  int number_ = 0;
  QString tty_;
};

}  // namespace tour
