// Archive: the results archive on one database connection (Qt SQL): an SQLite file or a
// PostgreSQL database, one schema and one code path for both. It keeps complete read-outs
// (Keep), attaches what the examiner typed (Annotate), and reads them back (Load, Find, and
// TestRows for a QSqlQueryModel). See ArchiveSchema.h for the tables and docs/ARCHITECTURE.md.
//
// An Archive and its connection belong to the thread that opened it: use it there only (the
// window uses it through ArchiveWriter's thread; the records window and the command line on
// their own thread). Every call that fails returns false or nothing and leaves the reason in
// Error(), in words for the user.
//
// Rules it keeps:
//   - each read-out is one transaction: it is there whole or not at all;
//   - a read-out whose results and configuration equal the last one kept for the same serial
//     number is not kept twice: Keep returns that one's id (kept = false);
//   - SQLite: the file and any folder made for it are readable by the user only, WAL journal,
//     synchronous commits (a commit is on disk before Keep returns), a 5 s busy time-out for a
//     second writer; a file that is not a dravikPC archive is never written to;
//   - an archive of a newer schema is opened read-only (Notice() says so) and never altered;
//   - PostgreSQL: after a lost connection the next call reconnects (once per call).
#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveLocation.h"
#include "archive/ArchiveSchema.h"
#include "protocol/ReadoutRecord.h"

namespace archive {

// What the examiner typed, attached to a kept read-out. An empty field changes nothing (the
// window leaves out what the examiner has not touched; the command line what was not given).
struct Annotation {
  std::optional<std::string> vehicle;   // UTF-8
  std::optional<std::string> examiner;  // UTF-8
  std::optional<std::string> notes;     // UTF-8, lines separated by "\n"
  std::optional<std::array<bool, 3>> brakeTicked;  // MainCB, SecondaryCB, ParkingCB
  bool empty() const { return !vehicle && !examiner && !notes && !brakeTicked; }
};

struct KeepResult {
  int64_t id = 0;      // the read-out's id in the archive
  bool kept = false;   // false: an equal read-out was already the last one of this instrument
};

// Which read-outs Find and TestRows return. Every field that is set must match.
struct ReadoutFilter {
  // The vehicle registration, compared on VehicleKey (case and spaces ignored): the whole key
  // (exact) or a part of it.
  std::optional<std::string> vehicle = std::nullopt;
  bool vehicleExact = false;
  std::optional<std::string> serial = std::nullopt;  // the instrument's serial number, exactly
  std::optional<int64_t> sinceUtcMs = std::nullopt;  // read at or after (ms since 1970 UTC)
  std::optional<int64_t> untilUtcMs = std::nullopt;  // read before
  std::optional<int64_t> limit = std::nullopt;       // at most this many rows or ids, the first in order
};

// A registration as the archive compares it: upper case, without any white space ("ab12 cde"
// and "AB12CDE" are one vehicle).
std::string VehicleKey(const std::string& utf8);

// Loads the SQL driver (Qt's plugin and what it links) of the archive `where` names, once, so
// that opening the archive later loads no library. Programs that read an instrument call it at
// start, before any port opens: under Wine, loading the SQLite driver's DLL while the serial
// layer's threads ran never returned (the loading thread spun in the heap allocator). Nothing
// for an archive that is off or a location in error.
void LoadDriver(const LocationResult& where);

class Archive {
public:
  enum class Mode { ReadWrite, ReadOnly };

  Archive();
  ~Archive();  // closes the connection
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens (ReadWrite: creating the file, folder and tables when missing; ReadOnly: never
  // writing). False with Error() set when it cannot be opened; Missing() tells a ReadOnly open
  // of an SQLite file that does not exist yet (not an error for a browser: nothing kept yet).
  bool Open(const Location& where, Mode mode = Mode::ReadWrite);
  void Close();
  bool IsOpen() const { return open_; }
  bool Missing() const { return missing_; }
  // Read-only, asked for or because the archive's schema is newer than this program's.
  bool ReadOnly() const { return readOnly_; }
  // Why a ReadWrite open gave a read-only archive (empty otherwise).
  const std::string& Notice() const { return notice_; }
  int SchemaVersion() const { return schema_; }
  const Location& Where() const { return where_; }
  const std::string& Error() const { return error_; }

  // ---- Writing (each call one transaction) ----
  // Keeps a complete read-out (record.state.complete) with its texts, unless it equals the last
  // one kept for its serial number; then applies `annotation` to the one kept.
  std::optional<KeepResult> Keep(const protocol::ReadoutRecord& record, const Annotation& annotation = {});
  // Attaches `annotation` to read-out `id`; false when there is no such read-out.
  bool Annotate(int64_t id, const Annotation& annotation);

  // ---- Reading ----
  // Read-out `id` as kept: the state re-decoded from its reply frames (protocol::ApplyReply, in
  // step order), with the examiner's texts and brake ticks as last attached.
  std::optional<protocol::ReadoutRecord> Load(int64_t id);
  // The last Load found no read-out of that id (the archive itself was read).
  bool NotFound() const { return notFound_; }
  // The ids of the read-outs that match, oldest first (by read-out time, then id).
  std::optional<std::vector<int64_t>> Find(const ReadoutFilter& filter);
  // The rows of test_row that match (columns in TestRowColumn order), newest read-out first,
  // tests in number order, executed and ready for QSqlQueryModel::setQuery(std::move(q)).
  // Forward-only is left off so that a model can scroll back.
  std::optional<QSqlQuery> TestRows(const ReadoutFilter& filter);
  // The serial numbers of every instrument the archive has seen, in order, each once.
  std::optional<std::vector<std::string>> Serials();

  // The connection (for a model's query, or a test's own statements on it).
  QSqlDatabase Database() const;

private:
  bool OpenSqlite(Mode mode);
  bool OpenPostgres();
  bool CheckSchema(Mode mode);
  bool Migrate();
  bool Reconnect();
  // Runs `work` in a write transaction and commits it; rolls back when it fails. PostgreSQL: a
  // failure (a lost connection, a restarted server) reconnects and runs it once more.
  bool InTransaction(const std::function<bool()>& work);
  // Runs a read; PostgreSQL: once more after reconnecting when it fails.
  bool Read(const std::function<bool()>& work);
  bool Exec(QSqlQuery& query, const char* what);
  bool Exec(const std::string& sql, const char* what);
  bool ExecWaitingOutBusy(const char* sql, const char* what);  // SQLite: retries while busy
  bool Fail(const std::string& what, const QString& detail);
  bool Writable();

  std::optional<int64_t> InstrumentId(const protocol::InstrumentState& state);
  std::optional<int64_t> InsertReadout(const protocol::ReadoutRecord& record, int64_t instrumentId,
                                       const std::string& digest);
  bool InsertFrames(int64_t id, const protocol::InstrumentState& state);
  bool InsertTests(int64_t id, const protocol::ReadoutRecord& record);
  bool ApplyAnnotation(int64_t id, const Annotation& annotation);
  bool BindFilter(QSqlQuery& query, const std::string& select, const ReadoutFilter& filter, const char* order);

  QString connection_;  // this object's Qt SQL connection name
  Location where_;
  const Dialect* dialect_ = nullptr;
  bool open_ = false;
  bool missing_ = false;
  bool readOnly_ = false;
  int schema_ = 0;
  std::string notice_;
  std::string error_;
  bool notFound_ = false;  // the last Load's id is not in the archive
};

}  // namespace archive
