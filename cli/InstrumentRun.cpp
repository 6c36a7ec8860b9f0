// The command line's instrument conversation.
#include "cli/InstrumentRun.h"

#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "cli/CommandLine.h"
#include "platform/portaccess.h"
#include "platform/terminal.h"
#include "serial/AdExcept.h"

InstrumentRun::InstrumentRun(int port) : port_(port), progress_(platform::StandardErrorIsTerminal()) {
  session_.AddListener(this);
}

InstrumentRun::~InstrumentRun() {
  EndProgressLine();
  session_.Close();
  session_.RemoveListener(this);
}

bool InstrumentRun::Open(QString& why) {
  ShowProgress(QStringLiteral("connecting to COM %1 \u2026").arg(port_));
  if (session_.Connect(static_cast<uint16_t>(port_))) return true;
  why = openFailure_;
  return false;
}

bool InstrumentRun::AwaitReadout(int timeoutMs) {
  const int before = completed_;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  deadline.start(timeoutMs);
  waiting_ = &loop;
  if (completed_ == before) loop.exec();
  waiting_ = nullptr;
  EndProgressLine();
  return completed_ > before;
}

QString InstrumentRun::LastReceived() const {
  if (!session_.LastReply().empty())
    return QStringLiteral("the last valid reply was \"%1\"").arg(QString::fromLatin1(session_.LastReply().c_str()));
  if (!session_.RxFrame.empty())
    return QStringLiteral("the last thing received was \"%1\", not a valid reply")
        .arg(QString::fromLatin1(session_.RxFrame.c_str()));
  return QStringLiteral("nothing was received");
}

void InstrumentRun::SessionChanged(const SessionChange& change) {
  if (change.kind != SessionChange::Request || session_.Connected()) return;
  // The request of the read-out step going out now.
  ShowProgress(QStringLiteral("connecting to COM %1 \u2026 read-out %2/%3 \u2026")
                   .arg(port_)
                   .arg(session_.Step + 1)
                   .arg(protocol::kReadoutSteps));
}

void InstrumentRun::ShowProgress(const QString& line) {
  if (!progress_) return;
  // One line, rewritten in place; a pipe or a file never sees it.
  const QByteArray bytes = (QStringLiteral("\r\x1b[K") + line).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
  std::fflush(stderr);
  progressShown_ = true;
}

void InstrumentRun::ReadoutCompleted() {
  ++completed_;
  if (waiting_) waiting_->quit();
}

void InstrumentRun::OperationFailed(const SessionFailure& failure) {
  if (failure.operation == SessionOperation::Connect) {
    openFailure_ = OpenFailure(failure);
    return;
  }
  // The cycle's own failures repeat at every tick: said once until the operation works again.
  if (std::find(told_.begin(), told_.end(), failure.operation) != told_.end()) return;
  told_.push_back(failure.operation);
  EndProgressLine();
  // A refused erase gives its reason on a line of its own, as the window's box does.
  const QString separator = failure.operation == SessionOperation::Erase ? QStringLiteral("\n") : QStringLiteral(": ");
  Say(QString::fromStdString(failure.message) +
      (failure.reason.empty() ? QString() : separator + QString::fromStdString(failure.reason).trimmed()));
}

void InstrumentRun::OperationSucceeded(SessionOperation operation) { std::erase(told_, operation); }

QString InstrumentRun::OpenFailure(const SessionFailure& failure) const {
  QString reason;
  switch (platform::CheckPortAccess(port_)) {
    case platform::PortAccess::Missing: reason = QStringLiteral("COM %1: no such port").arg(port_); break;
    case platform::PortAccess::Denied:
      reason = QStringLiteral(
                   "COM %1: permission denied; on Linux a user needs the dialout group to open serial ports "
                   "(sudo usermod -aG dialout $USER, then log out and in again)")
                   .arg(port_);
      break;
    case platform::PortAccess::Openable:
      // The device is there and this user may open it: refused, it is another program's.
      reason = failure.errorCode == ecAlreadyOpen
                   ? QStringLiteral("COM %1 is in use by another program").arg(port_)
                   : QStringLiteral("COM %1: %2").arg(port_).arg(QString::fromStdString(failure.reason).trimmed());
      break;
  }
  return QString::fromStdString(failure.message) + QLatin1Char('\n') + reason;
}

void InstrumentRun::EndProgressLine() {
  if (!progressShown_) return;
  std::fputc('\n', stderr);
  progressShown_ = false;
}
