// A PostgreSQL server of a test's own: a cluster made with initdb in a temporary folder and
// started with pg_ctl on a free port of 127.0.0.1, with password authentication for one user.
// postgres refuses to run as root, so as root (CI) the cluster belongs to, and the server runs
// as, the unprivileged user `nobody`. The server is stopped and the folder removed at the end.
#pragma once
#include <string>

class PostgresServer {
public:
  static constexpr const char* kUser = "dravik";
  static constexpr const char* kPassword = "brake-test-secret";

  // Makes the cluster and starts it; Error() says why when Running() is false.
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool Running() const { return running_; }
  const std::string& Error() const { return error_; }
  int Port() const { return port_; }
  // postgresql://dravik@127.0.0.1:<port>/<database>, the DRAVIK_ARCHIVE of that database.
  std::string Url(const std::string& database) const;
  // A password file (mode 0600) for this server's user, for PGPASSFILE.
  std::string PasswordFile() const { return folder_ + "/pgpass"; }

  bool CreateDatabase(const std::string& name);
  // Stops the server (fast: connections are closed) and starts it again on the same port.
  bool Stop();
  bool Start();

private:
  bool Run(const std::string& command, bool asServerUser);

  std::string bin_;     // the folder of initdb, pg_ctl and createdb
  std::string folder_;  // the temporary folder: cluster, socket, logs, password files
  int port_ = 0;
  bool running_ = false;
  std::string error_;
};
