// dravik-sim as a child process.
#include "tests/support/SimProcess.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <stdexcept>

SimProcess::SimProcess(const QStringList& options, const QString& program, int timeoutMs) {
  const std::string path = program.isEmpty() ? std::string(DRAVIK_SIM_EXE) : program.toStdString();
  std::vector<std::string> argv{path, "--control", "stdin"};
  for (const QString& option : options) argv.push_back(option.toStdString());
  try {
    process_ = std::make_unique<ChildProcess>(std::move(argv));
  } catch (const std::exception& e) {
    error_ = "cannot start " + path + ": " + e.what();
    return;
  }
  const QString first = QString::fromStdString(process_->ReadLine(timeoutMs)).trimmed();
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^COM(\\d+) (\\S+)$")).match(first);
  if (first.isEmpty() && process_->WaitExit(1000) && process_->Stop(0) == 127) {
    error_ = "cannot start " + path + ": no such program, or not one this user may run";
    return;
  }
  if (!m.hasMatch()) {
    error_ = first.isEmpty() ? "dravik-sim did not say which port it is on within " +
                                   std::to_string(timeoutMs / 1000) + " s"
                             : "dravik-sim's first line is not \"COM<n> <tty>\": " + first.toStdString();
    return;
  }
  number_ = m.captured(1).toInt();
  tty_ = m.captured(2);
}

SimProcess::~SimProcess() {
  if (!process_ || !process_->Running()) return;
  process_->Write("quit\n");
  if (!process_->WaitExit(5000)) Kill();
}

QString SimProcess::Control(const QString& line, int timeoutMs) {
  if (!process_ || !process_->Write(line.toStdString() + "\n")) return QString();
  return QString::fromStdString(process_->ReadLine(timeoutMs)).trimmed();
}

QJsonObject SimProcess::State(int timeoutMs) {
  return QJsonDocument::fromJson(Control(QStringLiteral("state"), timeoutMs).toUtf8()).object();
}

bool SimProcess::Quit(int timeoutMs, std::string& error) {
  if (Control(QStringLiteral("quit"), timeoutMs) != QStringLiteral("bye")) {
    error = "dravik-sim did not answer \"quit\"";
    return false;
  }
  if (!process_->WaitExit(timeoutMs)) {
    error = "dravik-sim did not end within " + std::to_string(timeoutMs / 1000) + " s of \"quit\"";
    return false;
  }
  if (const int status = process_->Stop(0); status != 0) {
    error = "dravik-sim ended with status " + std::to_string(status);
    return false;
  }
  return true;
}

int SimProcess::Stop(int signal) { return process_ ? process_->Stop(signal) : -1; }

void SimProcess::Kill() {
  if (process_) process_->Kill();
}
