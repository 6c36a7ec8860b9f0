// The records window's regimes and the remembered choice.
#include "records/RegimeChoice.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kRegimeKey = QStringLiteral("verdicts/regime");

}  // namespace

QString RegimeChoice::DefaultSettingsPath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
      .filePath(QStringLiteral("dravik-records.conf"));
}

RegimeChoice::RegimeChoice(const QString& regimeFile, const QString& settingsFile) : settingsFile_(settingsFile) {
  protocol_json::RegimeFile available = protocol_json::AvailableRegimes(regimeFile);
  regimes_ = std::move(available.regimes);
  fileError_ = available.error;
  const QSettings settings(settingsFile_, QSettings::IniFormat);
  const std::string remembered = settings.value(kRegimeKey).toString().toStdString();
  for (std::size_t i = 0; i < regimes_.size(); ++i)
    if (regimes_[i].name == remembered) chosen_ = static_cast<int>(i);
}

bool RegimeChoice::Choose(int index, QString& error) {
  if (index < 0 || static_cast<std::size_t>(index) >= regimes_.size()) return false;
  chosen_ = index;
  QSettings settings(settingsFile_, QSettings::IniFormat);
  settings.setValue(kRegimeKey, QString::fromStdString(ChosenRegime().name));
  settings.sync();
  if (settings.status() != QSettings::NoError) {
    error = QStringLiteral("The chosen regime could not be remembered in %1.").arg(settingsFile_);
    return false;
  }
  return true;
}
