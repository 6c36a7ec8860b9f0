// dravik-sim as a child process of the tour.
#include "tools/dravik-tour/SimProcess.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include "tools/dravik-tour/Wait.h"

namespace tour {

SimProcess::~SimProcess() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.write("quit\n");
  process_.closeWriteChannel();  // end of input ends it as well
  if (!process_.waitForFinished(3000)) {
    process_.kill();
    process_.waitForFinished(3000);
  }
}

bool SimProcess::Start(const QString& program, const QStringList& args, int timeoutMs, std::string& error) {
  process_.setProgram(program);
  process_.setArguments(QStringList{QStringLiteral("--control"), QStringLiteral("stdin")} + args);
  process_.start();
  if (!process_.waitForStarted(timeoutMs)) {
    error = "cannot start " + program.toStdString() + ": " + process_.errorString().toStdString();
    return false;
  }
  const std::optional<QString> first = ReadLine(timeoutMs);
  if (!first) {
    error = "dravik-sim did not say which port it is on within " + std::to_string(timeoutMs / 1000) + " s" + Why();
    return false;
  }
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^COM(\\d+) (\\S+)$")).match(*first);
  if (!m.hasMatch()) {
    error = "dravik-sim's first line is not \"COM<n> <tty>\": " + first->toStdString();
    return false;
  }
  number_ = m.captured(1).toInt();
  tty_ = m.captured(2);
  return true;
}

std::optional<QString> SimProcess::Control(const QString& command, int timeoutMs) {
  if (process_.state() != QProcess::Running) return std::nullopt;
  process_.write((command + QLatin1Char('\n')).toUtf8());
  return ReadLine(timeoutMs);
}

std::optional<QJsonObject> SimProcess::State(int timeoutMs) {
  const std::optional<QString> line = Control(QStringLiteral("state"), timeoutMs);
  if (!line) return std::nullopt;
  const QJsonDocument document = QJsonDocument::fromJson(line->toUtf8());
  if (!document.isObject()) return std::nullopt;
  return document.object();
}

bool SimProcess::Quit(int timeoutMs, std::string& error) {
  const std::optional<QString> reply = Control(QStringLiteral("quit"), timeoutMs);
  if (reply != QStringLiteral("bye")) {
    error = "dravik-sim did not answer \"quit\"" + Why();
    return false;
  }
  if (!WaitUntil([this] { return process_.state() == QProcess::NotRunning; }, timeoutMs)) {
    error = "dravik-sim did not end within " + std::to_string(timeoutMs / 1000) + " s of \"quit\"";
    return false;
  }
  if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0) {
    error = "dravik-sim ended with a failure" + Why();
    return false;
  }
  return true;
}

std::optional<QString> SimProcess::ReadLine(int timeoutMs) {
  // The line may already be buffered, or come with the process's last output as it ends.
  WaitUntil([this] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; }, timeoutMs);
  if (!process_.canReadLine()) return std::nullopt;
  return QString::fromUtf8(process_.readLine()).trimmed();
}

std::string SimProcess::Why() {
  std::string why;
  if (process_.state() == QProcess::NotRunning)
    why += process_.exitStatus() == QProcess::CrashExit ? " (it crashed)"
                                                         : " (it ended with exit code " + std::to_string(process_.exitCode()) + ")";
  const QString errors = QString::fromLocal8Bit(process_.readAllStandardError()).trimmed();
  if (!errors.isEmpty()) why += ": " + errors.section(QLatin1Char('\n'), 0, 0).toStdString();
  return why;
}

}  // namespace tour
