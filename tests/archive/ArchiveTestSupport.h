// What the archive's tests share: an SQLite location in a temporary folder, a read-out with
// results of its own, and what a file holds (to show it was left untouched).
#pragma once
#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <clocale>

#include "archive/Archive.h"
#include "tests/support/SimReadout.h"

inline archive::Location SqliteAt(const QString& path) {
  archive::Location l;
  l.kind = archive::Location::Sqlite;
  l.path = path.toStdString();
  return l;
}

// A dravik+ read-out whose test 1 peaks at `peak` tenths of %g, serial `serial`.
inline protocol::ReadoutRecord ReadoutWithPeak(unsigned peak, const std::string& serial = "0123",
                                               int64_t readAtUtcMs = 1'700'000'000'000) {
  sim::InstrumentSetup setup;
  setup.serial = serial;
  setup.tests[0].peak = static_cast<uint16_t>(peak);
  return RecordReadAt(setup, readAtUtcMs);
}

inline QByteArray FileDigest(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// PRAGMA integrity_check on the archive's own connection: "ok" when the file is sound.
inline std::string IntegrityCheck(archive::Archive& a) {
  QSqlQuery q(a.Database());
  if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next()) return "no answer";
  return q.value(0).toString().toStdString();
}
