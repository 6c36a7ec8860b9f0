// The archive's schema: one set of tables for SQLite and PostgreSQL, numbered, with the steps
// (migrations) that bring an older archive up to the number this program knows. The few words
// the two databases spell differently are in Dialect; everything else is the same SQL.
//
// Tables (schema 1; docs/ARCHITECTURE.md describes every column):
//   dravik_schema   one row: the schema number of this archive
//   instrument      an instrument as a read-out found it: serial, model, software version,
//                   service centre, calibration date (a new row when any of them changes)
//   readout         one kept read-out: when (UTC) and where it was read, the instrument clock,
//                   status, configuration block, a digest of its results, what the examiner typed
//   readout_frame   every reply frame of the read-out as received, by read-out step (0 .. 10)
//   readout_test    its three brake tests: raw fields, and each quantity as number, unit, text
//   test_row        (view) one row per test the window shows, with its read-out and instrument:
//                   what the records window lists and the command line filters
#pragma once
#include <string>
#include <vector>

namespace archive {

// The schema number this program writes. An archive with a higher number is opened read-only.
inline constexpr int kSchemaVersion = 1;

struct Dialect {
  bool postgres = false;
  const char* idColumn;    // an integer key the database numbers itself
  const char* blob;        // bytes as received
  const char* real;        // a double
  const char* beginWrite;  // starts a write transaction; SQLite takes the write lock at once, so
                           // a second writer waits in the busy time-out instead of failing later
  const char* schemaLock;  // run first in the schema transaction: one migration at a time
  const char* listTables;  // the names of the tables of the archive's schema
};
const Dialect& SqliteDialect();
const Dialect& PostgresDialect();

// The statements that take an archive from schema `from` to `from + 1` (from 0: a new archive).
std::vector<std::string> MigrationStatements(const Dialect& dialect, int from);

// The columns of the view test_row, in order (a QSqlQueryModel over Archive::TestRows shows
// them in this order).
enum TestRowColumn {
  kRowReadoutId, kRowReadAtUtcMs, kRowPort, kRowSerial, kRowModel, kRowVehicle, kRowExaminer, kRowNumber,
  kRowBrake, kRowPeakValue, kRowPeakUnit, kRowPeakText, kRowMeanValue, kRowMeanUnit, kRowMeanText,
  kRowSpeedValue, kRowSpeedUnit, kRowSpeedText, kRowStopValue, kRowStopUnit, kRowStopText,
  kRowDistanceValue, kRowDistanceUnit, kRowDistanceText, kRowPullSide, kRowPullAngleValue,
  kRowPullAngleUnit, kRowPullAngleText, kRowPullSidewaysValue, kRowPullSidewaysUnit, kRowPullSidewaysText,
  kRowRecordedAt, kRowDateText, kRowNotes, kTestRowColumns
};
// The column names of test_row, by TestRowColumn.
const std::vector<std::string>& TestRowColumnNames();

}  // namespace archive
