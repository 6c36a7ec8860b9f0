// Read-outs on standard output (or into a file) in the formats of docs/FORMATS.md: "text" for
// a person, "json" (dravik-readout/1: one object, or an array for several) and "csv" (one row
// per test, a header first). With a regime every test carries its verdict.
#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "cli/CommandLine.h"
#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

enum class ReadoutFormat { Text, Json, Csv };

// --format as given; nothing (with a usage message) when it is not one of `allowed` ("text",
// "json", "csv").
std::optional<ReadoutFormat> FormatOption(const CommandParser& p, const QStringList& allowed);

// One read-out (json: an object) or several (json: an array; text: one after the other).
QByteArray FormatReadout(const protocol::ReadoutRecord& record, ReadoutFormat format, const protocol::Regime* regime);
QByteArray FormatReadouts(const std::vector<protocol::ReadoutRecord>& records, ReadoutFormat format,
                          const protocol::Regime* regime);

// Adds --regime NAME to a command.
void AddRegimeOption(CommandParser& p);
// The regime --regime names (built in, or from the user's regime file), null without --regime;
// a usage error (its exit status in `status`) for a name that is none of them. A regime file
// that cannot be used is said on standard error; the built-in regimes still work.
std::optional<protocol::Regime> RegimeOption(const CommandParser& p, int& status);

// `bytes` to standard output, or whole into `path` (a temporary file renamed at the end): false
// with a message said when it could not be written.
bool WriteOutput(const QByteArray& bytes, const QString& path);
