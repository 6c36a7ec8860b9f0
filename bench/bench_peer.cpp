// The peer on the pty master and the client processes it serves.
#include "bench/bench_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bench/bench_wire.h"

extern char** environ;

namespace bench {
namespace {

constexpr std::size_t kChunk = 65536;

// Starts the client with its stdout on a pipe; returns the pid (or -1) and the pipe's read end.
pid_t Spawn(const ClientCommand& command, int& stdoutFd) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;  // -1 + errno on failure
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& extra : command.env) env.push_back(extra);
  std::vector<char*> argv, envp;
  for (const std::string& a : command.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  const pid_t pid = fork();  // -1 + errno on failure
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);  // the pipe's CLOEXEC does not carry over to fd 1
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (command.cpu >= 0) {
      CPU_SET(command.cpu, &cpus);
    } else {
      for (long i = 0; i < sysconf(_SC_NPROCESSORS_ONLN); ++i) CPU_SET(i, &cpus);
    }
    sched_setaffinity(0, sizeof cpus, &cpus);  // -1 + errno on failure: the run is then unpinned
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return -1;
  }
  stdoutFd = pipeFds[0];
  return pid;
}

}  // namespace

std::string RunOutcome::Result() const {
  for (const std::string& line : lines)
    if (line.rfind("result ", 0) == 0) return line;
  return {};
}

Peer::Peer(int master) : master_(master), chunk_(kChunk) {}

// Drops whatever an earlier run left in either direction of the pty.
void Peer::Flush() {
  tcflush(master_, TCIOFLUSH);  // -1 + errno on failure: the reads below drain what is left
  uint8_t scrap[4096];
  while (read(master_, scrap, sizeof scrap) > 0) {
  }
  request_.clear();
  pending_.clear();
  streaming_ = false;
  streamSent_ = 0;
  chunkOffset_ = chunkLength_ = 0;
}

// Writes queued reply bytes and the stream as far as the pty takes them; false on a hard error.
bool Peer::WritePending() {
  while (!pending_.empty()) {
    const ssize_t n = write(master_, pending_.data(), pending_.size());  // -1 + errno on failure
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    pending_.erase(0, static_cast<std::size_t>(n));
  }
  while (streaming_) {
    if (chunkOffset_ == chunkLength_) {
      if (streamSent_ == streamBytes_) {
        streaming_ = false;
        break;
      }
      chunkLength_ = static_cast<std::size_t>(std::min<uint64_t>(kChunk, streamBytes_ - streamSent_));
      FillPattern(streamSent_, chunk_.data(), chunkLength_);
      chunkOffset_ = 0;
    }
    const ssize_t n = write(master_, chunk_.data() + chunkOffset_, chunkLength_ - chunkOffset_);  // -1 + errno
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    chunkOffset_ += static_cast<std::size_t>(n);
    streamSent_ += static_cast<uint64_t>(n);
  }
  return true;
}

RunOutcome Peer::Run(const ClientCommand& command, const std::function<bool(pid_t)>& onReady, int timeoutMs) {
  RunOutcome outcome;
  Flush();
  int out = -1;
  const pid_t pid = Spawn(command, out);
  if (pid < 0) {
    outcome.error = "cannot start " + command.argv[0];
    return outcome;
  }
  const uint64_t deadline = NowNs() + static_cast<uint64_t>(timeoutMs) * 1'000'000u;
  std::string text;
  bool eof = false, timedOut = false, broken = false;
  uint8_t buffer[4096];
  while (!eof) {
    const uint64_t now = NowNs();
    if (now >= deadline) {
      timedOut = true;
      break;
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {out, POLLIN, 0}};
    if (!pending_.empty() || streaming_) fds[0].events |= POLLOUT;
    const int wait = static_cast<int>(std::min<uint64_t>((deadline - now) / 1'000'000u + 1, 1000));
    if (poll(fds, 2, wait) < 0 && errno != EINTR) break;  // -1 + errno on failure

    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(master_, buffer, sizeof buffer);  // -1 + errno (EAGAIN, EIO between clients)
      for (ssize_t i = 0; i < n; ++i) {
        request_.push_back(static_cast<char>(buffer[i]));
        if (buffer[i] != '\r') continue;
        if (IsStreamRequest(request_)) {
          streaming_ = true;
          streamSent_ = 0;
          chunkOffset_ = chunkLength_ = 0;
        } else {
          pending_ += MakeReply(request_);
        }
        request_.clear();
      }
    }
    if ((!pending_.empty() || streaming_) && !WritePending()) broken = true;

    if (fds[1].revents & (POLLIN | POLLHUP)) {
      const ssize_t n = read(out, buffer, sizeof buffer);  // -1 + errno on failure
      if (n <= 0) {
        eof = true;
      } else {
        text.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = text.find('\n')) != std::string::npos) {
          outcome.lines.push_back(text.substr(0, end));
          text.erase(0, end + 1);
          if (outcome.lines.back() == "ready" && onReady && onReady(pid)) pending_ += "Q";
        }
      }
    }
  }
  close(out);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);  // -1 + errno only for a pid that is not our child
  outcome.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  outcome.contextSwitches = static_cast<uint64_t>(usage.ru_nvcsw + usage.ru_nivcsw);
  outcome.peakRssKiB = static_cast<uint64_t>(usage.ru_maxrss);
  for (const std::string& line : outcome.lines)
    if (line.rfind("error ", 0) == 0) outcome.error = line.substr(6);
  if (timedOut) outcome.error = "timed out";
  else if (broken) outcome.error = "pty write failed";
  else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    outcome.error = outcome.error.empty() ? "client failed (status " + std::to_string(status) + ")" : outcome.error;
  outcome.ok = outcome.error.empty() && !outcome.Result().empty();
  if (!outcome.ok && outcome.error.empty()) outcome.error = "no result";
  return outcome;
}

}  // namespace bench
