// Reading read-outs back: one by id, re-decoded from its reply frames, and the ids and test
// rows that a filter selects.
#include <QSqlError>

#include "archive/Archive.h"

namespace archive {

namespace {

std::string Text(const QVariant& v) { return v.toString().toStdString(); }

}  // namespace

std::optional<protocol::ReadoutRecord> Archive::Load(int64_t id) {
  protocol::ReadoutRecord record;
  bool found = false;
  const bool done = Read([&] {
    record = {};
    QSqlQuery readout(Database());
    readout.prepare(QStringLiteral("SELECT read_at_utc_ms, port, vehicle, examiner, notes FROM readout WHERE id = ?"));
    readout.addBindValue(QVariant::fromValue<qint64>(id));
    if (!Exec(readout, "could not be read")) return false;
    found = readout.next();
    if (!found) return true;
    record.id = id;
    record.readAtUtcMs = readout.value(0).toLongLong();
    record.port = readout.value(1).toInt();
    record.vehicle = Text(readout.value(2));
    record.examiner = Text(readout.value(3));
    record.notes = Text(readout.value(4));

    // One decoding path: the kept frames go through ApplyReply in step order, as they came.
    QSqlQuery frames(Database());
    frames.prepare(QStringLiteral("SELECT frame FROM readout_frame WHERE readout_id = ? ORDER BY step"));
    frames.addBindValue(QVariant::fromValue<qint64>(id));
    if (!Exec(frames, "could not be read")) return false;
    protocol::BeginReadout(record.state);
    while (frames.next()) {
      const QByteArray frame = frames.value(0).toByteArray();
      protocol::ApplyReply(record.state, std::string(frame.constData(), static_cast<std::size_t>(frame.size())), false);
    }
    protocol::FinishReadout(record.state, record.readAtUtcMs);

    QSqlQuery brakes(Database());
    brakes.prepare(QStringLiteral("SELECT number, brake FROM readout_test WHERE readout_id = ?"));
    brakes.addBindValue(QVariant::fromValue<qint64>(id));
    if (!Exec(brakes, "could not be read")) return false;
    while (brakes.next()) {
      const int n = brakes.value(0).toInt();
      if (n >= 1 && n <= 3) record.brakeTicked[static_cast<std::size_t>(n - 1)] = !brakes.value(1).isNull();
    }
    return true;
  });
  notFound_ = done && !found;
  if (!done) return std::nullopt;
  if (!found) {
    Fail("holds no read-out " + std::to_string(id), {});
    return std::nullopt;
  }
  return record;
}

bool Archive::BindFilter(QSqlQuery& query, const std::string& select, const ReadoutFilter& f, const char* order) {
  QStringList where;
  QVariantList values;
  if (f.vehicle) {
    const QString key = QString::fromStdString(VehicleKey(*f.vehicle));
    if (f.vehicleExact) {
      where << QStringLiteral("vehicle_key = ?");
      values << key;
    } else {
      QString pattern = key;
      pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
          .replace(QLatin1Char('%'), QStringLiteral("\\%"))
          .replace(QLatin1Char('_'), QStringLiteral("\\_"));
      where << QStringLiteral("vehicle_key LIKE ? ESCAPE '\\'");
      values << QLatin1Char('%') + pattern + QLatin1Char('%');
    }
  }
  if (f.serial) {
    where << QStringLiteral("serial = ?");
    values << QString::fromStdString(*f.serial);
  }
  if (f.sinceUtcMs) {
    where << QStringLiteral("read_at_utc_ms >= ?");
    values << QVariant::fromValue<qint64>(*f.sinceUtcMs);
  }
  if (f.untilUtcMs) {
    where << QStringLiteral("read_at_utc_ms < ?");
    values << QVariant::fromValue<qint64>(*f.untilUtcMs);
  }
  QString sql = QString::fromStdString(select);
  if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
  sql += QLatin1String(" ORDER BY ") + QLatin1String(order);
  if (!query.prepare(sql)) return Fail("could not be read", query.lastError().databaseText());
  for (const QVariant& v : values) query.addBindValue(v);
  return Exec(query, "could not be read");
}

std::optional<std::vector<int64_t>> Archive::Find(const ReadoutFilter& filter) {
  std::vector<int64_t> ids;
  const bool done = Read([&] {
    ids.clear();
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!BindFilter(q, "SELECT id FROM readout", filter, "read_at_utc_ms, id")) return false;
    while (q.next()) ids.push_back(q.value(0).toLongLong());
    return true;
  });
  if (!done) return std::nullopt;
  return ids;
}

std::optional<QSqlQuery> Archive::TestRows(const ReadoutFilter& filter) {
  std::string columns;
  for (const std::string& name : TestRowColumnNames()) columns += (columns.empty() ? "" : ", ") + name;
  std::optional<QSqlQuery> rows;
  const bool done = Read([&] {
    rows.emplace(Database());
    return BindFilter(*rows, "SELECT " + columns + " FROM test_row", filter, "read_at_utc_ms DESC, readout_id DESC, number");
  });
  if (!done) return std::nullopt;
  return rows;
}

}  // namespace archive
