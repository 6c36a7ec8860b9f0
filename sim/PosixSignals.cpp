// The self-pipe behind SignalPipe: a handler that only writes one byte.
#include "sim/PosixSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sim {
namespace {

int gPipe[2] = {-1, -1};  // read end, write end; one SignalPipe per process
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];
struct sigaction gPreviousPipe;

extern "C" void OnSignal(int sig) {
  const int saved = errno;
  const char byte = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);  // -1 + errno if full: one byte is enough
  errno = saved;
}

}  // namespace

SignalPipe::SignalPipe() {
  if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)  // -1 + errno on failure
    throw std::system_error(errno, std::generic_category(), "pipe2");
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &gPrevious[i]);  // fails only for bad numbers
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &gPreviousPipe);
}

SignalPipe::~SignalPipe() {
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
  ::sigaction(SIGPIPE, &gPreviousPipe, nullptr);
  ::close(gPipe[0]);  // close errors are not actionable
  ::close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
}

int SignalPipe::fd() const { return gPipe[0]; }

int SignalPipe::Take() {
  int last = 0;
  char byte = 0;
  while (::read(gPipe[0], &byte, 1) == 1) last = byte;  // -1 + EAGAIN once drained
  return last;
}

}  // namespace sim
