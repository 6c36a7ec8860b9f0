// TTimer over a QTimer.
#include "session/Timer.h"

TTimer::TTimer(QObject* owner) : QObject(owner), timer_(new QTimer(this)) {
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(interval_);
  connect(timer_, &QTimer::timeout, this, [this] {
    if (OnTimer) OnTimer();
  });
}

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Restart();
}

void TTimer::SetInterval(int value) {
  if (value == interval_) return;
  interval_ = value;
  Restart();
}

void TTimer::Restart() {
  timer_->stop();
  timer_->setInterval(interval_);
  if (enabled_ && interval_ > 0) timer_->start();
}
