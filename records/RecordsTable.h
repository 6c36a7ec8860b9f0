// RecordsTable: the models behind the records window's table: the archive's test rows that a
// search selects (Archive::TestRows in a QSqlQueryModel, the newest kMaxListedRows of them), the
// window's columns with their verdicts (RecordColumns), and the sorting (a QSortFilterProxyModel
// by kSortRole). The search itself runs in the database, on the archive's indexes; and the search
// fields' values as an archive filter.
#pragma once
#include <QDate>
#include <QObject>
#include <QSortFilterProxyModel>
#include <QSqlQueryModel>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "records/RecordColumns.h"

// A search of the window: a registration or a part of it (case and spaces ignored, empty: any),
// the local calendar days from `from` to `to`, both included (none: open), an instrument's
// serial number (empty: any).
archive::ReadoutFilter SearchFilter(const QString& vehicle, std::optional<QDate> from, std::optional<QDate> to,
                                    const QString& serial);

// Sorts by kSortRole. A comparison reads its keys from a copy of the sort column taken once per
// sort, not from the columns model: a key costs several reads of the query model, and sorting
// 10,000 rows compares about 130,000 pairs. The copy is dropped whenever the source changes.
class RecordsSort : public QSortFilterProxyModel {
public:
  explicit RecordsSort(QObject* parent = nullptr) : QSortFilterProxyModel(parent) {}
  void setSourceModel(QAbstractItemModel* source) override;

protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
  void Forget() { keysColumn_ = -1; }
  mutable std::vector<QVariant> keys_;  // kSortRole of column keysColumn_, by source row
  mutable int keysColumn_ = -1;         // -1: no copy
  std::vector<QMetaObject::Connection> connections_;  // to the source, for Forget
};

class RecordsTable : public QObject {
public:
  // A search that matches more tests lists the newest this many: sorting the list needs all of
  // its rows in memory (about 1.5 kB each).
  static constexpr int kMaxListedRows = 10000;

  explicit RecordsTable(QObject* parent = nullptr);
  ~RecordsTable() override;

  // Lists the tests `filter` selects in `archive` (filter.limit is set here). False with `error`
  // (the list is then empty).
  bool Load(archive::Archive& archive, archive::ReadoutFilter filter, std::string& error);
  // Lists nothing and lets go of the query; needed before the archive's connection closes.
  void Clear();
  // The list stops at kMaxListedRows: the search may match older tests than those listed.
  bool Truncated() const { return rows_.rowCount() >= kMaxListedRows; }

  QSqlQueryModel& Rows() { return rows_; }
  RecordColumns& Columns() { return columns_; }
  QSortFilterProxyModel& View() { return view_; }

private:
  QSqlQueryModel rows_;
  RecordColumns columns_;
  RecordsSort view_;
};
