// The CSV export of read-outs, the same in the records window and on the command line: a
// header row, then one row per test the window shows. Columns, in order:
//   read_at, serial, model, vehicle, examiner, test, brake, peak, peak_unit, mean, mean_unit,
//   verdict, regime, speed, speed_unit, stop_time, stop_time_unit, distance, distance_unit,
//   pull_angle, pull_angle_unit, pull_sideways, pull_sideways_unit, notes
// A quantity the window does not show for that instrument leaves both its cells empty; verdict
// and regime are empty without a regime. docs/FORMATS.md describes every column.
#pragma once
#include <string>
#include <vector>

#include "protocol/Csv.h"
#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

namespace protocol {

// The header row's names, in column order.
const std::vector<std::string>& ReadoutCsvColumns();

// The header record.
std::string ReadoutCsvHeader();

// The rows of one read-out, with verdicts under `regime` when it is given.
std::vector<std::vector<CsvCell>> ReadoutCsvRows(const ReadoutRecord& record, const Regime* regime);

// The whole export: the header, then every read-out's rows, each as one record.
std::string ReadoutsCsv(const std::vector<ReadoutRecord>& records, const Regime* regime);

}  // namespace protocol
