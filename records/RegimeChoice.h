// RegimeChoice: the regimes the records window judges by and the one chosen: the built-in ones
// and those of the user's regime file (protocol_json::AvailableRegimes), with the choice
// remembered by name (QSettings, "dravik-records.conf" beside the regime file in the
// AppConfigLocation that every dravikPC program shares).
#pragma once
#include <QString>
#include <vector>

#include "protocol/Verdicts.h"
#include "protocol/json/RegimeFile.h"

class RegimeChoice {
public:
  // "dravik-records.conf" in the writable AppConfigLocation.
  static QString DefaultSettingsPath();

  // Reads the regimes and the remembered choice. A remembered name no regime has any more (the
  // file changed, or cannot be used now) gives the first regime, and stays remembered.
  explicit RegimeChoice(const QString& regimeFile = protocol_json::UserRegimeFilePath(),
                        const QString& settingsFile = DefaultSettingsPath());

  const std::vector<protocol::Regime>& Regimes() const { return regimes_; }
  // Why the regime file contributed nothing (names the file, and the line of a syntax error);
  // empty when it was usable or absent.
  const QString& FileError() const { return fileError_; }
  int Chosen() const { return chosen_; }
  const protocol::Regime& ChosenRegime() const { return regimes_[static_cast<std::size_t>(chosen_)]; }
  // Chooses regime `index` and remembers it; false (and nothing changes) for no such regime, or
  // when the choice cannot be written (`error` then says why; the choice holds for this run).
  bool Choose(int index, QString& error);

private:
  std::vector<protocol::Regime> regimes_;
  QString fileError_;
  QString settingsFile_;
  int chosen_ = 0;
};
