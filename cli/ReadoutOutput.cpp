// Read-outs in the output formats.
#include "cli/ReadoutOutput.h"

#include <QJsonDocument>
#include <QSaveFile>
#include <cstdio>

#include "cli/ExitStatus.h"
#include "cli/ReadoutText.h"
#include "protocol/ReadoutCsv.h"
#include "protocol/json/ReadoutJson.h"
#include "protocol/json/RegimeFile.h"

std::optional<ReadoutFormat> FormatOption(const CommandParser& p, const QStringList& allowed) {
  const QString format = p.parser.value(QStringLiteral("format"));
  if (allowed.contains(format)) {
    if (format == QStringLiteral("json")) return ReadoutFormat::Json;
    if (format == QStringLiteral("csv")) return ReadoutFormat::Csv;
    return ReadoutFormat::Text;
  }
  UsageError(p.command, QStringLiteral("--format is %1, not \"%2\"").arg(allowed.join(QStringLiteral(", ")), format));
  return std::nullopt;
}

QByteArray FormatReadout(const protocol::ReadoutRecord& record, ReadoutFormat format, const protocol::Regime* regime) {
  if (format == ReadoutFormat::Json)
    return QJsonDocument(protocol_json::ReadoutToJson(record, regime)).toJson(QJsonDocument::Indented);
  return FormatReadouts({record}, format, regime);
}

QByteArray FormatReadouts(const std::vector<protocol::ReadoutRecord>& records, ReadoutFormat format,
                          const protocol::Regime* regime) {
  switch (format) {
    case ReadoutFormat::Json:
      return QJsonDocument(protocol_json::ReadoutsToJson(records, regime)).toJson(QJsonDocument::Indented);
    case ReadoutFormat::Csv: return QByteArray::fromStdString(protocol::ReadoutsCsv(records, regime));
    case ReadoutFormat::Text: break;
  }
  QStringList texts;
  for (const protocol::ReadoutRecord& record : records) texts << ReadoutText(record, regime);
  return texts.join(QLatin1Char('\n')).toUtf8();
}

void AddRegimeOption(CommandParser& p) {
  p.parser.addOption({QStringLiteral("regime"),
                      QStringLiteral("Add the verdict of each test under this regime (see dravik regimes)."),
                      QStringLiteral("NAME")});
}

std::optional<protocol::Regime> RegimeOption(const CommandParser& p, int& status) {
  status = kExitDone;
  if (!p.parser.isSet(QStringLiteral("regime"))) return std::nullopt;
  const protocol_json::RegimeFile available = protocol_json::AvailableRegimes();
  if (!available.error.isEmpty()) Say(QStringLiteral("dravik: %1").arg(available.error));
  const std::string name = p.parser.value(QStringLiteral("regime")).toStdString();
  if (const protocol::Regime* regime = protocol::FindRegime(available.regimes, name)) return *regime;
  status = UsageError(p.command, QStringLiteral("no regime is called \"%1\" (dravik regimes lists them)")
                                     .arg(QString::fromStdString(name)));
  return std::nullopt;
}

bool WriteOutput(const QByteArray& bytes, const QString& path) {
  if (path.isEmpty() || path == QStringLiteral("-")) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
    return true;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    Say(QStringLiteral("dravik: %1 could not be written: %2").arg(path, file.errorString()));
    return false;
  }
  return true;
}
