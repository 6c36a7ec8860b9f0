// Regimes beyond the built-in ones, from a JSON file of the user's ("regimes.json" in the
// program's QStandardPaths::AppConfigLocation; format "dravik-regimes/1" in docs/FORMATS.md).
// A file that cannot be used contributes nothing and gives one message that names the file and,
// for a syntax error, the line; the built-in regimes are there either way.
#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

#include "protocol/Verdicts.h"

namespace protocol_json {

inline constexpr char kRegimeFormat[] = "dravik-regimes/1";
inline constexpr char kRegimeFileName[] = "regimes.json";
// A regime file larger than this is refused unread.
inline constexpr qint64 kRegimeFileMaxBytes = 1 << 20;

struct RegimeFile {
  std::vector<protocol::Regime> regimes;  // the file's regimes, in its order; empty on an error
  QString error;                          // empty when the file was usable (or absent)
};

// The regimes in `contents`, a file called `fileName` (for the messages). A regime may not
// take the name of a built-in one or of an earlier one in the file.
RegimeFile ParseRegimeFile(const QByteArray& contents, const QString& fileName);

// The regimes in the file at `path`; a file that does not exist is no error and has none.
RegimeFile ReadRegimeFile(const QString& path);

// "regimes.json" in the running program's writable AppConfigLocation.
QString UserRegimeFilePath();

// The built-in regimes, then those of the file at `path`, and the file's message if any.
RegimeFile AvailableRegimes(const QString& path = UserRegimeFilePath());

}  // namespace protocol_json
