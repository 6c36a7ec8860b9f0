// Where the results archive is: the DRAVIK_ARCHIVE rule shared by every program that opens it
// (dravikPC, the records window, the command line).
//   unset or empty          archive.sqlite in dravikPC's AppDataLocation (on Linux
//                           ~/.local/share/dravikPC/archive.sqlite), whichever program asks
//   "off"                   no archive
//   postgresql://user@host[:port]/dbname[?key=value&...]   (also postgres://) a PostgreSQL
//                           database shared by several lanes; the password comes from
//                           PGPASSWORD or ~/.pgpass (libpq's own rules), never from the address;
//                           the query items are passed to libpq as connection options
//   anything else           the path of an SQLite file
#pragma once
#include <string>

namespace archive {

struct Location {
  enum Kind { Off, Sqlite, Postgres } kind = Off;
  std::string path;  // Sqlite: the file (absolute)
  // Postgres:
  std::string host;
  int port = 5432;
  std::string user;  // empty: libpq's default (PGUSER, else the login name)
  std::string database;
  std::string options;  // libpq connection options as "key=value;key=value" (Qt's form)

  // For messages: the file's path, or the address without options.
  std::string Describe() const;
};

struct LocationResult {
  Location location;
  std::string error;  // set when `value` is not a usable archive address
};

// `value` as DRAVIK_ARCHIVE gives it; `defaultPath` is used when it is empty.
LocationResult ParseLocation(const std::string& value, const std::string& defaultPath);

// archive.sqlite in the AppDataLocation that dravikPC has (application name "dravikPC", no
// organisation), so the records window and the command line find dravikPC's file.
std::string DefaultArchivePath();

// ParseLocation(DRAVIK_ARCHIVE, DefaultArchivePath()).
LocationResult LocationFromEnvironment();

}  // namespace archive
