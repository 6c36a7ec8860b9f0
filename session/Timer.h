// TTimer: the window's tick. A QTimer restarts whenever its interval is set while it runs; this
// one restarts only when the interval actually changes, and switching it on while it is already
// on changes nothing, so the controller can set the interval on every tick without stretching
// the period.
#pragma once
#include <QObject>
#include <QTimer>
#include <functional>

class TTimer : public QObject {
public:
  // Disabled, 1000 ms, no handler.
  explicit TTimer(QObject* owner);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);

  // Milliseconds between ticks. A new value restarts a running timer; the same value does not.
  int Interval() const { return interval_; }
  void SetInterval(int value);

  // Runs on every tick (on the thread that owns the timer).
  std::function<void()> OnTimer;

private:
  void Restart();

  QTimer* timer_;
  bool enabled_ = false;
  int interval_ = 1000;
};
