// The records window's exports: read-outs as CSV (protocol's ReadoutCsv: a header row, one row
// per test) or as JSON (an array of "dravik-readout/1" objects), with the verdicts of the chosen
// regime, written whole or not at all.
#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

enum class ExportFormat { Csv, Json };

// (read-out id, test number): the tests a CSV export of selected rows keeps.
using TestKeys = std::set<std::pair<int64_t, int>>;

// The file's bytes. CSV: every test the window shows of each read-out, or only those in
// `onlyTests` when it is given; JSON: each read-out whole, one object each, in the order given.
QByteArray ExportBytes(const std::vector<protocol::ReadoutRecord>& records, ExportFormat format,
                       const protocol::Regime* regime, const TestKeys* onlyTests = nullptr);

// Writes `bytes` to `path` through a temporary file that takes the name only once it is
// complete: the file is there whole or, on any failure, as it was. False with `error` in words
// for the user.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error);
