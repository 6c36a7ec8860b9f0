// dravik-sim as a child process of a test.
#include "tests/support/SimProcess.h"

#include <signal.h>

#include <QJsonDocument>

SimProcess::SimProcess(const QStringList& options) {
  std::vector<std::string> argv{DRAVIK_SIM_EXE, "--control", "stdin"};
  for (const QString& option : options) argv.push_back(option.toStdString());
  process_ = std::make_unique<ChildProcess>(std::move(argv));
  const QString first = QString::fromStdString(process_->ReadLine());
  if (first.startsWith(QStringLiteral("COM"))) {
    number_ = first.mid(3).section(QLatin1Char(' '), 0, 0).toInt();
    tty_ = first.section(QLatin1Char(' '), 1);
  }
}

SimProcess::~SimProcess() {
  if (!process_->Running()) return;
  process_->Write("quit\n");
  if (!process_->WaitExit(5000)) Kill();
}

QString SimProcess::Control(const QString& line) {
  process_->Write(line.toStdString() + "\n");
  return QString::fromStdString(process_->ReadLine()).trimmed();
}

QJsonObject SimProcess::State() {
  return QJsonDocument::fromJson(Control(QStringLiteral("state")).toUtf8()).object();
}

void SimProcess::Kill() { process_->Stop(SIGKILL); }
