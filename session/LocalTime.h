// The PC's local date and time as a broken-down std::tm, read through Qt (no C library calls
// that differ between systems or are not thread-safe).
#pragma once
#include <QDateTime>
#include <ctime>

inline std::tm ToTm(const QDateTime& local) {
  const QDate date = local.date();
  const QTime time = local.time();
  std::tm t{};
  t.tm_year = date.year() - 1900;
  t.tm_mon = date.month() - 1;
  t.tm_mday = date.day();
  t.tm_hour = time.hour();
  t.tm_min = time.minute();
  t.tm_sec = time.second();
  t.tm_wday = date.dayOfWeek() % 7;  // Qt: Monday 1 .. Sunday 7; tm: Sunday 0
  t.tm_yday = date.dayOfYear() - 1;
  t.tm_isdst = -1;
  return t;
}

inline std::tm LocalNow() { return ToTm(QDateTime::currentDateTime()); }
