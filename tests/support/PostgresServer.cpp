// The test's own PostgreSQL server: initdb, pg_ctl start and stop, createdb.
#include "tests/support/PostgresServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// The newest installed server's programs (Debian keeps them off the PATH).
std::string ServerBin() {
  std::string best;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
    if (std::filesystem::exists(entry.path() / "bin" / "initdb") && entry.path().string() > best) best = entry.path().string();
  return best.empty() ? std::string() : best + "/bin";
}

// A port of 127.0.0.1 that nothing listens on now.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);  // -1 on failure
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&  // 0 on success
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

}  // namespace

PostgresServer::PostgresServer() {
  bin_ = ServerBin();
  if (bin_.empty()) {
    error_ = "no PostgreSQL server in /usr/lib/postgresql (Debian package postgresql)";
    return;
  }
  char folder[] = "/tmp/dravik-pg-XXXXXX";
  if (!::mkdtemp(folder)) {  // null on failure
    error_ = "cannot make a temporary folder";
    return;
  }
  folder_ = folder;
  port_ = FreePort();
  std::ofstream(folder_ + "/password") << kPassword << "\n";
  {
    std::ofstream pass(PasswordFile());
    pass << "127.0.0.1:" << port_ << ":*:" << kUser << ":" << kPassword << "\n";
  }
  std::filesystem::permissions(PasswordFile(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  if (::geteuid() == 0 && !Run("chown -R nobody '" + folder_ + "' && chmod 700 '" + folder_ + "'", false)) return;
  if (!Run("'" + bin_ + "/initdb' -D '" + folder_ + "/data' -U " + kUser + " --pwfile='" + folder_ +
               "/password' --auth=scram-sha-256 --encoding=UTF8 --locale=C --no-sync >'" + folder_ + "/initdb.log' 2>&1",
           true)) {
    error_ = "initdb failed (see " + folder_ + "/initdb.log)";
    return;
  }
  Start();
}

PostgresServer::~PostgresServer() {
  if (running_) Stop();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

std::string PostgresServer::Url(const std::string& database) const {
  return std::string("postgresql://") + kUser + "@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

bool PostgresServer::Start() {
  running_ = Run("'" + bin_ + "/pg_ctl' -D '" + folder_ + "/data' -l '" + folder_ + "/server.log' -w -t 60 -o \"-p " +
                     std::to_string(port_) + " -k '" + folder_ + "' -c listen_addresses=127.0.0.1 -c fsync=off\" start" +
                     " >/dev/null",
                 true);
  if (!running_) error_ = "the server did not start (see " + folder_ + "/server.log)";
  return running_;
}

bool PostgresServer::Stop() {
  const bool stopped = Run("'" + bin_ + "/pg_ctl' -D '" + folder_ + "/data' -m fast -w -t 60 stop >/dev/null", true);
  if (stopped) running_ = false;
  return stopped;
}

bool PostgresServer::CreateDatabase(const std::string& name) {
  return Run("PGPASSFILE='" + PasswordFile() + "' '" + bin_ + "/createdb' -h 127.0.0.1 -p " + std::to_string(port_) +
                 " -U " + kUser + " " + name,
             false);
}

bool PostgresServer::Run(const std::string& command, bool asServerUser) {
  // As root the cluster's programs run as nobody, from the cluster's folder; the shell around
  // them (and its redirections) stays root's.
  const std::string line =
      asServerUser && ::geteuid() == 0 ? "cd '" + folder_ + "' && runuser -u nobody -- " + command : command;
  const int status = std::system(line.c_str());
  if (status != 0 && error_.empty()) error_ = "failed: " + command;
  return status == 0;
}
