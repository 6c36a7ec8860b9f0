// DRAVIK_ARCHIVE to a Location.
#include "archive/ArchiveLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace archive {

std::string Location::Describe() const {
  switch (kind) {
    case Off: return "off";
    case Sqlite: return path;
    case Postgres: {
      const std::string who = user.empty() ? std::string() : user + "@";
      return "postgresql://" + who + host + ":" + std::to_string(port) + "/" + database;
    }
  }
  return {};
}

namespace {

LocationResult ParsePostgres(const std::string& value) {
  LocationResult r;
  const QUrl url(QString::fromStdString(value), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) {
    r.error = "DRAVIK_ARCHIVE is not a valid address (postgresql://user@host:port/dbname): " + value;
    return r;
  }
  if (!url.password().isEmpty()) {
    r.error = "DRAVIK_ARCHIVE must not hold a password: give it in PGPASSWORD or ~/.pgpass";
    return r;
  }
  Location& l = r.location;
  l.kind = Location::Postgres;
  l.host = url.host().toStdString();
  l.port = url.port(5432);
  l.user = url.userName().toStdString();
  l.database = url.path().mid(1).toStdString();
  if (l.database.empty() || l.database.find('/') != std::string::npos) {
    r.error = "DRAVIK_ARCHIVE names no database (postgresql://user@host:port/dbname): " + value;
    return r;
  }
  QStringList options;
  for (const auto& [key, item] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
    if (key == QLatin1String("password")) {
      r.error = "DRAVIK_ARCHIVE must not hold a password: give it in PGPASSWORD or ~/.pgpass";
      return r;
    }
    options << key + QLatin1Char('=') + item;
  }
  l.options = options.join(QLatin1Char(';')).toStdString();
  return r;
}

}  // namespace

LocationResult ParseLocation(const std::string& value, const std::string& defaultPath) {
  LocationResult r;
  if (value == "off") return r;
  if (value.rfind("postgresql://", 0) == 0 || value.rfind("postgres://", 0) == 0) return ParsePostgres(value);
  r.location.kind = Location::Sqlite;
  const std::string path = value.empty() ? defaultPath : value;
  if (path.empty()) {
    r.error = "no folder for the archive (AppDataLocation is unknown): set DRAVIK_ARCHIVE";
    return r;
  }
  r.location.path = QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(path))).toStdString();
  return r;
}

std::string DefaultArchivePath() {
  // AppDataLocation follows the running program's names: ask it as dravikPC, then put them back.
  const QString name = QCoreApplication::applicationName();
  const QString organisation = QCoreApplication::organizationName();
  QCoreApplication::setApplicationName(QStringLiteral("dravikPC"));
  QCoreApplication::setOrganizationName(QString());
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QCoreApplication::setOrganizationName(organisation);
  QCoreApplication::setApplicationName(name);
  if (folder.isEmpty()) return {};
  return (folder + QStringLiteral("/archive.sqlite")).toStdString();
}

LocationResult LocationFromEnvironment() {
  return ParseLocation(qEnvironmentVariable("DRAVIK_ARCHIVE").toStdString(), DefaultArchivePath());
}

}  // namespace archive
