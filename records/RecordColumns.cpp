// The records window's columns and verdicts over the archive's test rows.
#include "records/RecordColumns.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include "archive/ArchiveSchema.h"
#include "protocol/ExportFields.h"
#include "protocol/QuantityFormat.h"
#include "report/RecordReport.h"

namespace {

const char* const kHeaders[kRecordColumns] = {"Read at", "Serial", "Model", "Vehicle", "Examiner",
                                              "Test", "Brake", "Peak", "Mean", "Verdict"};

// The source column each window column shows; the verdict hangs on the peak's.
constexpr int kSourceColumn[kRecordColumns] = {
    archive::kRowReadAtUtcMs, archive::kRowSerial, archive::kRowModel,     archive::kRowVehicle,
    archive::kRowExaminer,    archive::kRowNumber, archive::kRowBrake,     archive::kRowPeakText,
    archive::kRowMeanText,    archive::kRowPeakValue};

// A reading's unit as the row holds it says %g (else the reading is in m/s²).
bool InPercentG(const QVariant& unit) {
  return unit.toString() == QLatin1String(protocol::FormatOf(protocol::Quantity::Peak, true, true).unit);
}

}  // namespace

RecordColumns::RecordColumns(QObject* parent) : QAbstractProxyModel(parent) {}

void RecordColumns::SetRegime(std::optional<protocol::Regime> regime) {
  regime_ = std::move(regime);
  if (rowCount() > 0) emit dataChanged(index(0, kColVerdict), index(rowCount() - 1, kColVerdict));
}

void RecordColumns::setSourceModel(QAbstractItemModel* source) {
  beginResetModel();
  for (const QMetaObject::Connection& c : connections_) disconnect(c);
  connections_.clear();
  QAbstractProxyModel::setSourceModel(source);
  if (source) {
    // A query model resets when its query changes and inserts rows as it fetches them.
    connections_ = {
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); }),
        connect(source, &QAbstractItemModel::modelReset, this, [this] { endResetModel(); }),
        connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex&, int first, int last) { beginInsertRows({}, first, last); }),
        connect(source, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); }),
        connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex&, int first, int last) { beginRemoveRows({}, first, last); }),
        connect(source, &QAbstractItemModel::rowsRemoved, this, [this] { endRemoveRows(); })};
  }
  endResetModel();
}

QModelIndex RecordColumns::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= kRecordColumns) return {};
  return createIndex(row, column);
}

QModelIndex RecordColumns::parent(const QModelIndex&) const { return {}; }

int RecordColumns::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !sourceModel() ? 0 : sourceModel()->rowCount();
}

int RecordColumns::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kRecordColumns; }

QModelIndex RecordColumns::mapToSource(const QModelIndex& proxy) const {
  if (!proxy.isValid() || !sourceModel()) return {};
  return sourceModel()->index(proxy.row(), kSourceColumn[proxy.column()]);
}

QModelIndex RecordColumns::mapFromSource(const QModelIndex& source) const {
  if (!source.isValid()) return {};
  for (int c = 0; c < kRecordColumns; ++c)
    if (kSourceColumn[c] == source.column()) return index(source.row(), c);
  return {};
}

Qt::ItemFlags RecordColumns::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

QVariant RecordColumns::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kRecordColumns) return {};
  return QString::fromLatin1(kHeaders[section]);
}

QVariant RecordColumns::Source(int row, int testRowColumn) const {
  return sourceModel()->data(sourceModel()->index(row, testRowColumn));
}

std::optional<protocol::BrakeKind> RecordColumns::Brake(int row) const {
  // The plain model has no brake boxes: its test is never ticked as a brake kind.
  if (Source(row, archive::kRowModel).toString() != QLatin1String(protocol::kPlusModelName)) return std::nullopt;
  return protocol::BrakeFromKey(Source(row, archive::kRowBrake).toString().toStdString());
}

protocol::Assessment RecordColumns::AssessRow(int row) const {
  if (!regime_ || !sourceModel()) return {};
  return protocol::AssessReadings(Brake(row), Source(row, archive::kRowPeakValue).toDouble(),
                                  Source(row, archive::kRowMeanValue).toDouble(),
                                  InPercentG(Source(row, archive::kRowPeakUnit)), *regime_);
}

QVariant RecordColumns::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !sourceModel()) return {};
  const int row = index.row(), column = index.column();
  switch (role) {
    case Qt::DisplayRole: return Display(row, column);
    case kSortRole: return SortKey(row, column);
    case kReadoutIdRole: return Source(row, archive::kRowReadoutId).toLongLong();
    case kTestNumberRole: return Source(row, archive::kRowNumber).toInt();
    case kReadAtRole: return Source(row, archive::kRowReadAtUtcMs).toLongLong();
    case Qt::TextAlignmentRole:
      return column == kColTest || column == kColPeak || column == kColMean ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                                            : QVariant();
    default: return column == kColVerdict ? VerdictData(row, role) : QVariant();
  }
}

QVariant RecordColumns::Display(int row, int column) const {
  switch (column) {
    case kColReadAt:
      return QDateTime::fromMSecsSinceEpoch(Source(row, archive::kRowReadAtUtcMs).toLongLong())
          .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    case kColBrake: {
      const std::optional<protocol::BrakeKind> brake = Brake(row);
      // The names of the window's brake boxes, as the report's column captions use them.
      return brake ? TestCaptions(true, {true, true, true})[static_cast<std::size_t>(*brake)] : QString();
    }
    case kColVerdict: return QString::fromLatin1(protocol::VerdictText(AssessRow(row).verdict));
    default: return Source(row, kSourceColumn[column]);
  }
}

QVariant RecordColumns::SortKey(int row, int column) const {
  switch (column) {
    case kColReadAt: return Source(row, archive::kRowReadAtUtcMs).toLongLong();
    case kColTest: return Source(row, archive::kRowNumber).toInt();
    case kColPeak:
    case kColMean:
      return protocol::EfficiencyPercentG(
          Source(row, column == kColPeak ? archive::kRowPeakValue : archive::kRowMeanValue).toDouble(),
          InPercentG(Source(row, archive::kRowPeakUnit)));
    default: return Display(row, column);
  }
}

QVariant RecordColumns::VerdictData(int row, int role) const {
  if (role != Qt::ForegroundRole && role != Qt::ToolTipRole) return {};
  const protocol::Assessment a = AssessRow(row);
  if (role == Qt::ForegroundRole) {
    if (a.verdict == protocol::Verdict::Pass) return QBrush(QColor(0, 110, 0));
    if (a.verdict == protocol::Verdict::Fail) return QBrush(QColor(190, 0, 0));
    return QBrush(QColor(110, 110, 110));
  }
  if (!a.rule || !a.efficiencyPercentG) return {};
  return QStringLiteral("%1 %g against a minimum of %2 %g on the %3 reading (%4)")
      .arg(*a.efficiencyPercentG, 0, 'f', 1)
      .arg(a.rule->minimumPercentG)
      .arg(QLatin1String(protocol::ReadingKey(a.rule->reading)), QString::fromStdString(a.rule->source));
}
