// Opening and closing the archive, its schema and migrations, transactions and error texts.
// Writing is in ArchiveWrite.cpp, reading in ArchiveRead.cpp.
#include "archive/Archive.h"

#include <QFile>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QSqlError>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <set>
#include <system_error>

namespace archive {

void LoadDriver(const LocationResult& where) {
  if (!where.error.empty() || where.location.kind == Location::Off) return;
  const QString driver = where.location.kind == Location::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
  const QString connection = QStringLiteral("dravik-driver-load");
  // The driver's instance keeps its plugin loaded for the rest of the program.
  { QSqlDatabase::addDatabase(driver, connection); }
  QSqlDatabase::removeDatabase(connection);
}

namespace {

constexpr int kBusyTimeoutMs = 5000;      // a second writer waits this long for the first
constexpr int kConnectTimeoutSeconds = 5;  // PostgreSQL: a server that does not answer

QString NewConnectionName() {
  static std::atomic<int> next{1};
  return QStringLiteral("dravik-archive-%1").arg(next++);
}

// Makes the missing folders of `folder`, each readable by the user only. Empty on success.
std::string MakeFolders(const std::filesystem::path& folder) {
  std::error_code ec;
  if (folder.empty() || std::filesystem::exists(folder, ec)) return {};
  if (std::string e = MakeFolders(folder.parent_path()); !e.empty()) return e;
  if (!std::filesystem::create_directory(folder, ec) && ec) return "cannot create the folder " + folder.string() + ": " + ec.message();
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
  return {};
}

}  // namespace

std::string VehicleKey(const std::string& utf8) {
  const QString upper = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUpper();
  QString key;
  for (QChar c : upper)
    if (!c.isSpace()) key += c;
  return key.toStdString();
}

Archive::Archive() : connection_(NewConnectionName()) {}

Archive::~Archive() { Close(); }

QSqlDatabase Archive::Database() const { return QSqlDatabase::database(connection_, false); }

void Archive::Close() {
  {
    QSqlDatabase db = Database();
    if (db.isValid()) db.close();
  }
  if (QSqlDatabase::contains(connection_)) QSqlDatabase::removeDatabase(connection_);
  open_ = false;
}

bool Archive::Open(const Location& where, Mode mode) {
  Close();
  where_ = where;
  missing_ = false;
  readOnly_ = mode == Mode::ReadOnly;
  schema_ = 0;
  notice_.clear();
  error_.clear();
  bool opened = false;
  if (where.kind == Location::Sqlite) {
    dialect_ = &SqliteDialect();
    opened = OpenSqlite(mode);
  } else if (where.kind == Location::Postgres) {
    dialect_ = &PostgresDialect();
    opened = OpenPostgres();
  } else {
    error_ = "the archive is off (DRAVIK_ARCHIVE=off)";
  }
  open_ = opened && CheckSchema(mode);
  if (!open_) {
    const std::string why = error_;
    Close();
    error_ = why;
  }
  return open_;
}

bool Archive::OpenSqlite(Mode mode) {
  const QString path = QString::fromStdString(where_.path);
  if (!QFileInfo::exists(path)) {
    if (mode == Mode::ReadOnly) {
      missing_ = true;
      error_ = "there is no archive at " + where_.path + " yet";
      return false;
    }
    error_ = MakeFolders(std::filesystem::path(QFile::encodeName(path).toStdString()).parent_path());
    if (!error_.empty()) return false;
    // Created here, readable by the user only; SQLite gives its -wal and -shm files the same mode.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
        !QFileInfo::exists(path)) {
      error_ = "cannot create the archive " + where_.path + ": " + file.errorString().toStdString();
      return false;
    }
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  if (!db.isValid()) {
    error_ = "Qt SQL has no SQLite driver (Debian package libqt6sql6-sqlite)";
    return false;
  }
  db.setDatabaseName(path);
  QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
  if (mode == Mode::ReadOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
  db.setConnectOptions(options);
  if (!db.open()) return Fail("could not be opened", db.lastError().text());
  return true;
}

bool Archive::OpenPostgres() {
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
  if (!db.isValid()) {
    error_ = "Qt SQL has no PostgreSQL driver (Debian package libqt6sql6-psql)";
    return false;
  }
  db.setHostName(QString::fromStdString(where_.host));
  db.setPort(where_.port);
  db.setDatabaseName(QString::fromStdString(where_.database));
  if (!where_.user.empty()) db.setUserName(QString::fromStdString(where_.user));
  // No password here: libpq takes it from PGPASSWORD or the password file.
  QString options = QStringLiteral("connect_timeout=%1;application_name=dravikPC").arg(kConnectTimeoutSeconds);
  if (!where_.options.empty()) options += QLatin1Char(';') + QString::fromStdString(where_.options);
  db.setConnectOptions(options);
  if (!db.open()) return Fail("could not be reached", db.lastError().databaseText());
  return true;
}

bool Archive::CheckSchema(Mode mode) {
  // Reading first: a file that is not a database, or a database of another program, is left
  // exactly as it is.
  QSqlDatabase db = Database();
  QSqlQuery tables(db);
  if (!tables.exec(QString::fromLatin1(dialect_->listTables))) {
    // SQLITE_NOTADB: the file is something else; anything else (a folder that cannot take the
    // journal, a locked file) is a failure to open it.
    const QSqlError e = tables.lastError();
    return Fail(e.nativeErrorCode() == QLatin1String("26") ? "is not a dravikPC archive" : "could not be opened",
                e.databaseText());
  }
  std::set<QString> names;
  while (tables.next()) names.insert(tables.value(0).toString());
  if (names.count(QStringLiteral("dravik_schema"))) {
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("SELECT max(version) FROM dravik_schema")) || !version.next())
      return Fail("could not be read", version.lastError().databaseText());
    schema_ = version.value(0).toInt();
  } else if (!names.empty()) {
    error_ = "the file " + where_.Describe() + " is a database of another program, not a dravikPC archive; it is left as it is";
    return false;
  }
  if (schema_ > kSchemaVersion) {
    notice_ = "the archive " + where_.Describe() + " was written by a newer dravikPC (schema " + std::to_string(schema_) +
              ", this program knows " + std::to_string(kSchemaVersion) + "): it is opened read-only and nothing is kept in it";
    readOnly_ = true;
    if (where_.kind == Location::Sqlite && mode == Mode::ReadWrite) {
      db.close();
      db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY").arg(kBusyTimeoutMs));
      if (!db.open()) return Fail("could not be opened", db.lastError().text());
    }
    return true;
  }
  if (mode == Mode::ReadOnly) {
    if (schema_ == 0) {
      missing_ = true;
      error_ = "nothing has been kept in the archive " + where_.Describe() + " yet";
      return false;
    }
    return true;
  }
  if (!dialect_->postgres) {
    // Every commit is on disk before it returns: an erase follows it.
    for (const char* pragma : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL"})
      if (!ExecWaitingOutBusy(pragma, "could not be set up")) return false;
  }
  return schema_ == kSchemaVersion || Migrate();
}

bool Archive::Migrate() {
  // One schema transaction at a time: another program may be making the same archive. The
  // schema number is read again inside it.
  return InTransaction([&] {
    if (*dialect_->schemaLock && !Exec(dialect_->schemaLock, "could not be locked")) return false;
    QSqlQuery tables(Database());
    if (!tables.exec(QString::fromLatin1(dialect_->listTables))) return Fail("could not be read", tables.lastError().databaseText());
    int version = 0;
    while (tables.next())
      if (tables.value(0).toString() == QLatin1String("dravik_schema")) version = -1;
    if (version == -1) {
      QSqlQuery q(Database());
      if (!q.exec(QStringLiteral("SELECT max(version) FROM dravik_schema")) || !q.next())
        return Fail("could not be read", q.lastError().databaseText());
      version = q.value(0).toInt();
    }
    for (; version < kSchemaVersion; ++version)
      for (const std::string& statement : MigrationStatements(*dialect_, version))
        if (!Exec(statement, "could not be brought up to date")) return false;
    schema_ = version;
    return true;
  });
}

bool Archive::InTransaction(const std::function<bool()>& work) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0 && !Reconnect()) return false;
    if (Exec(dialect_->beginWrite, "could not be written")) {
      if (work() && Exec("COMMIT", "could not be written")) return true;
      const std::string why = error_;
      Exec("ROLLBACK", "could not roll back");
      error_ = why;
    }
    // SQLite has waited out a busy writer already; a failure there is final. A PostgreSQL
    // connection may have been lost: a transaction that failed at its commit is run again, and
    // a read-out already kept then is found equal and not kept twice.
    if (!dialect_->postgres) return false;
  }
  return false;
}

bool Archive::Read(const std::function<bool()>& work) {
  if (!open_) {
    if (error_.empty()) error_ = "the archive is not open";
    return false;
  }
  if (work()) return true;
  return dialect_->postgres && Reconnect() && work();
}

bool Archive::Reconnect() {
  QSqlDatabase db = Database();
  db.close();
  if (!db.open()) return Fail("could not be reached", db.lastError().databaseText());
  return true;
}

bool Archive::Writable() {
  if (!open_) {
    if (error_.empty()) error_ = "the archive is not open";
    return false;
  }
  if (readOnly_) {
    error_ = notice_.empty() ? "the archive " + where_.Describe() + " is open read-only" : notice_;
    return false;
  }
  return true;
}

bool Archive::Exec(QSqlQuery& query, const char* what) {
  if (query.exec()) return true;
  return Fail(what, query.lastError().databaseText().isEmpty() ? query.lastError().text() : query.lastError().databaseText());
}

bool Archive::ExecWaitingOutBusy(const char* sql, const char* what) {
  // While a second program makes the same new archive, SQLite refuses the change of journal
  // mode at once (SQLITE_BUSY without the busy time-out: waiting there could deadlock), so it is
  // tried again, for as long as the busy time-out, until that program's migration is done.
  const QDeadlineTimer deadline(kBusyTimeoutMs);
  for (;;) {
    QSqlQuery query(Database());
    if (query.exec(QString::fromLatin1(sql))) return true;
    const bool busy = (query.lastError().nativeErrorCode().toInt() & 0xff) == 5;  // SQLITE_BUSY
    if (!busy || deadline.hasExpired()) return Fail(what, query.lastError().databaseText());
    QThread::msleep(10);
  }
}

bool Archive::Exec(const std::string& sql, const char* what) {
  QSqlQuery query(Database());
  if (query.exec(QString::fromStdString(sql))) return true;
  return Fail(what, query.lastError().databaseText().isEmpty() ? query.lastError().text() : query.lastError().databaseText());
}

bool Archive::Fail(const std::string& what, const QString& detail) {
  error_ = "the archive " + where_.Describe() + " " + what;
  const QString trimmed = detail.trimmed();
  if (!trimmed.isEmpty()) error_ += ": " + trimmed.toStdString();
  return false;
}

}  // namespace archive
