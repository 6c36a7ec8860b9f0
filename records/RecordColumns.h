// RecordColumns: the records window's columns over the archive's test rows. Its source is a
// QSqlQueryModel over Archive::TestRows (the view test_row, columns in archive::TestRowColumn
// order); it shows the window's ten columns of those rows and adds the verdict of each test
// under the chosen regime, computed from the row's numbers and brake tick by protocol's
// AssessReadings. Read-only; a QSortFilterProxyModel above it sorts by kSortRole.
#pragma once
#include <QAbstractProxyModel>
#include <optional>
#include <vector>

#include "protocol/Verdicts.h"

enum RecordColumn {
  kColReadAt, kColSerial, kColModel, kColVehicle, kColExaminer, kColTest, kColBrake, kColPeak, kColMean,
  kColVerdict, kRecordColumns
};

// Roles every cell answers besides Qt's display roles.
inline constexpr int kSortRole = Qt::UserRole + 1;       // what the column sorts by (below)
inline constexpr int kReadoutIdRole = Qt::UserRole + 2;  // the row's read-out id (qint64)
inline constexpr int kTestNumberRole = Qt::UserRole + 3; // the row's test number, 1 .. 3
inline constexpr int kReadAtRole = Qt::UserRole + 4;     // when the read-out completed, ms since 1970 UTC

class RecordColumns : public QAbstractProxyModel {
  Q_OBJECT
public:
  explicit RecordColumns(QObject* parent = nullptr);

  // The regime the verdicts are judged by; none: every verdict is "not assessed".
  void SetRegime(std::optional<protocol::Regime> regime);
  const std::optional<protocol::Regime>& Regime() const { return regime_; }

  // The verdict of source row `row` under the regime.
  protocol::Assessment AssessRow(int row) const;

  void setSourceModel(QAbstractItemModel* source) override;
  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QModelIndex mapToSource(const QModelIndex& proxy) const override;
  QModelIndex mapFromSource(const QModelIndex& source) const override;
  // Display: the window's texts. kSortRole: read-out time in ms; test number; peak and mean as
  // efficiency in %g (readings in m/s² and in %g sort together); the texts otherwise.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
  QVariant Source(int row, int testRowColumn) const;
  std::optional<protocol::BrakeKind> Brake(int row) const;  // as ticked, for a dravik+ only
  QVariant Display(int row, int column) const;
  QVariant SortKey(int row, int column) const;
  QVariant VerdictData(int row, int role) const;

  std::optional<protocol::Regime> regime_;
  std::vector<QMetaObject::Connection> connections_;  // to the source model
};
