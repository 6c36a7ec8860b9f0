// The records window's table models and its search.
#include "records/RecordsTable.h"

#include <QDateTime>
#include <QSqlError>

archive::ReadoutFilter SearchFilter(const QString& vehicle, std::optional<QDate> from, std::optional<QDate> to,
                                    const QString& serial) {
  archive::ReadoutFilter f;
  if (!vehicle.trimmed().isEmpty()) f.vehicle = vehicle.toStdString();
  if (!serial.isEmpty()) f.serial = serial.toStdString();
  // A day is the examiner's local day: from its midnight to the next one.
  const auto midnight = [](QDate day) { return QDateTime(day, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch(); };
  if (from) f.sinceUtcMs = midnight(*from);
  if (to) f.untilUtcMs = midnight(to->addDays(1));
  return f;
}

RecordsTable::RecordsTable(QObject* parent) : QObject(parent) {
  columns_.setSourceModel(&rows_);
  view_.setSourceModel(&columns_);
  view_.setSortRole(kSortRole);
  view_.setSortCaseSensitivity(Qt::CaseInsensitive);
  view_.setDynamicSortFilter(true);  // a new regime re-sorts a list sorted by verdict
}

RecordsTable::~RecordsTable() {
  // The views let go of their sources before the sources go.
  view_.setSourceModel(nullptr);
  columns_.setSourceModel(nullptr);
}

bool RecordsTable::Load(archive::Archive& archive, archive::ReadoutFilter filter, std::string& error) {
  filter.limit = kMaxListedRows;
  std::optional<QSqlQuery> query = archive.TestRows(filter);
  if (!query) {
    Clear();
    error = archive.Error();
    return false;
  }
  rows_.setQuery(std::move(*query));
  // Every row now: the sort proxy orders what its source holds, so it must hold the whole list.
  while (rows_.canFetchMore()) rows_.fetchMore();
  if (rows_.lastError().isValid()) {
    error = "the archive " + archive.Where().Describe() + " could not be read: " + rows_.lastError().text().toStdString();
    Clear();
    return false;
  }
  return true;
}

void RecordsTable::Clear() { rows_.clear(); }
