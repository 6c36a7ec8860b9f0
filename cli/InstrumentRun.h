// One instrument conversation of the command line: the same InstrumentSession the window uses
// (same frames, timing, restarts and texts), driven from a QCoreApplication's event loop. It
// waits for complete read-outs, shows progress on a terminal ("connecting to COM 7 … read-out
// 6/11 …") and nowhere else, and turns the session's failures into messages on standard error.
#pragma once
#include <QEventLoop>
#include <QString>

#include "session/InstrumentSession.h"

class InstrumentRun : public SessionListener {
public:
  explicit InstrumentRun(int port);
  ~InstrumentRun() override;  // closes the port

  InstrumentSession& Session() { return session_; }
  int Port() const { return port_; }

  // Opens the port and starts the cycle. False with `why` ("Problem opening comm port", then the
  // reason on the next line) when the port does not open.
  bool Open(QString& why);
  // Runs the event loop until a read-out completes after this call, or `timeoutMs` pass; false
  // on time-out.
  bool AwaitReadout(int timeoutMs);
  // For a time-out's message: what was last received, or that nothing was.
  QString LastReceived() const;

private:
  void SessionChanged(const SessionChange& change) override;
  void ReadoutCompleted() override;
  void OperationFailed(const SessionFailure& failure) override;
  void OperationSucceeded(SessionOperation operation) override;
  QString OpenFailure(const SessionFailure& failure) const;
  void ShowProgress(const QString& line);
  void EndProgressLine();

  const int port_;
  InstrumentSession session_;
  QEventLoop* waiting_ = nullptr;  // the loop of AwaitReadout while it runs
  int completed_ = 0;              // complete read-outs so far
  QString openFailure_;            // the message of a failed open
  bool progress_;                  // standard error is a terminal: progress is shown
  bool progressShown_ = false;     // a progress line is open (no newline yet)
  std::vector<SessionOperation> told_;  // operations whose failure has been said, until they work
};
