// dravik-sim as a child process of a reliability test.
#include "tests/reliability/SimProcess.h"

#include <QElapsedTimer>
#include <QJsonDocument>

SimProcess::SimProcess(const QStringList& options) {
  process_.setProgram(QStringLiteral(DRAVIK_SIM_EXE));
  process_.setArguments(QStringList{QStringLiteral("--control"), QStringLiteral("stdin")} + options);
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start();
  const QString first = ReadLine();
  if (first.startsWith(QStringLiteral("COM"))) {
    number_ = first.mid(3).section(QLatin1Char(' '), 0, 0).toInt();
    tty_ = first.section(QLatin1Char(' '), 1);
  }
}

SimProcess::~SimProcess() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.write("quit\n");
  if (!process_.waitForFinished(5000)) Kill();
}

QString SimProcess::Control(const QString& line) {
  process_.write((line + QLatin1Char('\n')).toUtf8());
  return ReadLine();
}

QJsonObject SimProcess::State() {
  return QJsonDocument::fromJson(Control(QStringLiteral("state")).toUtf8()).object();
}

void SimProcess::Kill() {
  process_.kill();
  process_.waitForFinished(5000);
}

QString SimProcess::ReadLine() {
  QElapsedTimer clock;
  clock.start();
  while (!process_.canReadLine() && clock.elapsed() < 10000 && process_.state() != QProcess::NotRunning)
    process_.waitForReadyRead(100);
  return QString::fromUtf8(process_.readLine()).trimmed();
}
