// Exports of kept read-outs.
#include "records/RecordsExport.h"

#include <QJsonDocument>
#include <QSaveFile>

#include "protocol/Quantities.h"
#include "protocol/ReadoutCsv.h"
#include "protocol/json/ReadoutJson.h"

namespace {

QByteArray Csv(const std::vector<protocol::ReadoutRecord>& records, const protocol::Regime* regime,
               const TestKeys* onlyTests) {
  std::string csv = protocol::ReadoutCsvHeader();
  for (const protocol::ReadoutRecord& record : records) {
    // ReadoutCsvRows gives one row per shown test, in ShownTests' order.
    const std::vector<int> numbers = protocol::ShownTests(record.state);
    const auto rows = protocol::ReadoutCsvRows(record, regime);
    for (std::size_t i = 0; i < rows.size() && i < numbers.size(); ++i)
      if (!onlyTests || onlyTests->count({record.id.value_or(0), numbers[i]})) csv += protocol::CsvRecord(rows[i]);
  }
  return QByteArray::fromStdString(csv);
}

}  // namespace

QByteArray ExportBytes(const std::vector<protocol::ReadoutRecord>& records, ExportFormat format,
                       const protocol::Regime* regime, const TestKeys* onlyTests) {
  if (format == ExportFormat::Csv) return Csv(records, regime, onlyTests);
  return QJsonDocument(protocol_json::ReadoutsToJson(records, regime)).toJson(QJsonDocument::Indented);
}

bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
    return false;
  }
  if (file.write(bytes) != bytes.size() || !file.commit()) {
    error = QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
  }
  return true;
}
