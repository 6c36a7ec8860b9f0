// A child process of a test, started with fork and exec, its standard input and output on pipes
// and its standard error inherited or on a pipe of its own. Tests start their helper programs (dravik-sim, the port
// holder) with it rather than with QProcess: once Debian's Qt 6.4 has started a child,
// ThreadSanitizer no longer sees the locks of the thread that started it, and every later
// hand-off of that thread reads as a race.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
  // argv[0] is the program's path. Throws std::runtime_error when it cannot be started.
  // `captureError`: its standard error goes to a pipe (ReadToEnd) instead of the test's.
  explicit ChildProcess(std::vector<std::string> argv, bool captureError = false);
  ~ChildProcess();  // SIGKILL when still running; always reaped
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of its standard output without the newline; empty once `timeoutMs` have
  // passed or the output has ended.
  std::string ReadLine(int timeoutMs = 10000);
  // Writes all of `text` to its standard input; false when it no longer reads.
  bool Write(const std::string& text);
  void CloseInput();
  // Waits at most `timeoutMs` for it to end; true once it has ended and been reaped.
  bool WaitExit(int timeoutMs);
  // Sends `signal`, waits for the end (SIGKILL after 10 s) and returns the exit status, or -1
  // when it did not exit normally.
  int Stop(int signal);
  // SIGKILL, and waits until it has ended.
  void Kill();
  bool Running() const { return pid_ > 0; }

  // Reads its standard output (and a captured standard error) until both have ended or
  // `timeoutMs` have passed; false on time-out.
  bool ReadToEnd(std::string& out, std::string& err, int timeoutMs);

private:
  void Reap();

  pid_t pid_ = -1;
  int pidfd_ = -1;  // readable once the child has ended
  int in_ = -1;     // its standard input
  int out_ = -1;    // its standard output
  int err_ = -1;    // its standard error, when captured
  int status_ = 0;  // waitpid status once reaped
  std::string buffered_;  // output read but not yet returned as a line
};

// A program run to its end: its exit status (-1: killed or timed out) and both outputs.
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};
ProgramRun RunProgram(std::vector<std::string> argv, int timeoutMs = 30000);
