// fork and exec with pipes, and bounded waits on a pidfd.
#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, bool captureError) {
  if (argv.empty()) throw std::runtime_error("ChildProcess: no program");
  int in[2], out[2], err[2] = {-1, -1};
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("ChildProcess: pipe");
  if (::pipe2(out, O_CLOEXEC) != 0 || (captureError && ::pipe2(err, O_CLOEXEC) != 0)) {
    for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
    throw std::runtime_error("ChildProcess: pipe");
  }
  // Built before the fork: the child of a threaded process may only make async-signal-safe calls.
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], STDIN_FILENO);  // dup2 clears close-on-exec on the copies
    ::dup2(out[1], STDOUT_FILENO);
    if (err[1] >= 0) ::dup2(err[1], STDERR_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  if (err[1] >= 0) ::close(err[1]);
  err_ = err[0];
  in_ = in[1];
  out_ = out[0];
  if (pid_ < 0) {
    CloseFd(in_);
    CloseFd(out_);
    CloseFd(err_);
    throw std::runtime_error("ChildProcess: fork");
  }
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  ::signal(SIGPIPE, SIG_IGN);  // a write to a child that has ended fails instead
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Reap();
  }
  CloseFd(in_);
  CloseFd(out_);
  CloseFd(err_);
  CloseFd(pidfd_);
}

std::string ChildProcess::ReadLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const auto end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    if (out_ < 0) return {};
    pollfd p{out_, POLLIN, 0};
    const int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char chunk[256];
    const ssize_t n = ::read(out_, chunk, sizeof chunk);
    if (n > 0) {
      buffered_.append(chunk, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      CloseFd(out_);  // the output has ended
    }
  }
}

bool ChildProcess::Write(const std::string& text) {
  size_t done = 0;
  while (in_ >= 0 && done < text.size()) {
    const ssize_t n = ::write(in_, text.data() + done, text.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else if (errno != EINTR) return false;
  }
  return in_ >= 0;
}

void ChildProcess::CloseInput() { CloseFd(in_); }

bool ChildProcess::WaitExit(int timeoutMs) {
  if (pid_ <= 0) return true;
  if (pidfd_ >= 0) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p{pidfd_, POLLIN, 0};
    int ready;
    do ready = ::poll(&p, 1, MillisecondsLeft(deadline));
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
  }
  Reap();  // without a pidfd (an old kernel) this waits for as long as the child runs
  return true;
}

int ChildProcess::Stop(int signal) {
  if (pid_ > 0) {
    ::kill(pid_, signal);
    if (!WaitExit(10000)) {
      ::kill(pid_, SIGKILL);
      Reap();
    }
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void ChildProcess::Kill() { Stop(SIGKILL); }

void ChildProcess::Reap() {
  while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

bool ChildProcess::ReadToEnd(std::string& out, std::string& err, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  out = std::move(buffered_);
  buffered_.clear();
  while (out_ >= 0 || err_ >= 0) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};  // a negative fd is skipped
    const int ready = ::poll(p, 2, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      int& fd = i == 0 ? out_ : err_;
      char chunk[4096];
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0)
        (i == 0 ? out : err).append(chunk, static_cast<size_t>(n));
      else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        CloseFd(fd);  // that output has ended
    }
  }
  return true;
}

ProgramRun RunProgram(std::vector<std::string> argv, int timeoutMs) {
  ProgramRun run;
  ChildProcess child(std::move(argv), true);
  child.CloseInput();
  if (!child.ReadToEnd(run.out, run.err, timeoutMs)) {
    child.Stop(SIGKILL);
    return run;
  }
  run.status = child.Stop(0);
  return run;
}
