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

void RecordsSort::setSourceModel(QAbstractItemModel* source) {
  for (const QMetaObject::Connection& c : connections_) disconnect(c);
  connections_.clear();
  Forget();
  // Connected before the base class connects its own: the copy is gone before it re-sorts.
  if (source) {
    const auto forget = [this] { Forget(); };
    connections_ = {connect(source, &QAbstractItemModel::modelAboutToBeReset, this, forget),
                    connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this, forget),
                    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, forget),
                    connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this, forget),
                    connect(source, &QAbstractItemModel::dataChanged, this, forget)};
  }
  QSortFilterProxyModel::setSourceModel(source);
}

bool RecordsSort::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  if (keysColumn_ != left.column()) {
    const QAbstractItemModel* source = sourceModel();
    keys_.resize(static_cast<std::size_t>(source->rowCount()));
    for (int row = 0; row < source->rowCount(); ++row)
      keys_[static_cast<std::size_t>(row)] = source->index(row, left.column()).data(sortRole());
    keysColumn_ = left.column();
  }
  const QVariant& a = keys_[static_cast<std::size_t>(left.row())];
  const QVariant& b = keys_[static_cast<std::size_t>(right.row())];
  if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
    return a.toString().compare(b.toString(), sortCaseSensitivity()) < 0;
  return a.toDouble() < b.toDouble();  // times in ms and %g: exact in a double
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
  // The columns and the sort see the rows once they are all there, as one reset: rows fetched
  // in view would reach them in some forty batches, each one re-sorted.
  columns_.setSourceModel(nullptr);
  rows_.setQuery(std::move(*query));
  // Every row now: the sort proxy orders what its source holds, so it must hold the whole list.
  while (rows_.canFetchMore()) rows_.fetchMore();
  columns_.setSourceModel(&rows_);
  if (rows_.lastError().isValid()) {
    error = "the archive " + archive.Where().Describe() + " could not be read: " + rows_.lastError().text().toStdString();
    Clear();
    return false;
  }
  return true;
}

void RecordsTable::Clear() { rows_.clear(); }
