// poll()-based loop of dravik-sim. Single-threaded: request handling, the timed reply pieces
// and the control channel all run here.
#include "sim/PosixSimLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>

#include "sim/Control.h"
#include "sim/RequestFramer.h"

namespace sim {

int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int OpenControlFifo(const std::string& path) {
  if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) return -1;  // -1 + errno on failure
  return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);          // -1 + errno on failure
}

namespace {

// Bytes that are due on the wire at a given time.
struct Pending {
  int64_t dueMs;
  std::string bytes;
};

// A bound on queued reply bytes while nobody reads the port (the pty's buffer full): the
// oldest replies are dropped beyond it, as a real line would lose them.
constexpr std::size_t kMaxQueued = 64 * 1024;

void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);  // a closed stdout is not an error here
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int RunSimLoop(const LoopIo& io, Instrument& instrument, FaultPlan& faults) {
  RequestFramer framer;
  std::deque<Pending> out;
  std::size_t queued = 0;
  int64_t lastDue = 0;
  bool blocked = false;  // the last write would have blocked: wait for POLLOUT
  std::string controlBuffer;
  int control = io.control;

  for (;;) {
    int64_t now = MonotonicMs();
    // Write every piece that is due, in order.
    while (!out.empty() && out.front().dueMs <= now) {
      std::string& bytes = out.front().bytes;
      const ssize_t n = ::write(io.master, bytes.data(), bytes.size());  // -1 + errno on failure
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
          blocked = errno == EAGAIN;
          break;
        }
        std::fprintf(stderr, "dravik-sim: write to the pty failed: %s\n", std::strerror(errno));
        return 1;
      }
      blocked = false;
      queued -= static_cast<std::size_t>(n);
      bytes.erase(0, static_cast<std::size_t>(n));
      if (!bytes.empty()) {
        blocked = true;
        break;
      }
      out.pop_front();
    }

    int timeout = -1;
    if (!out.empty() && !blocked) timeout = static_cast<int>(std::max<int64_t>(0, out.front().dueMs - now));
    pollfd fds[3] = {{io.master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                     {io.signals, POLLIN, 0},
                     {control, POLLIN, 0}};
    const int count = control >= 0 ? 3 : 2;
    if (::poll(fds, static_cast<nfds_t>(count), timeout) < 0) {  // -1 + errno on failure
      if (errno == EINTR) continue;
      std::fprintf(stderr, "dravik-sim: poll failed: %s\n", std::strerror(errno));
      return 1;
    }
    now = MonotonicMs();

    if (fds[1].revents & POLLIN) return 0;  // SIGINT, SIGTERM or SIGHUP: end cleanly

    if (fds[0].revents & POLLIN) {
      char buffer[512];
      const ssize_t n = ::read(io.master, buffer, sizeof buffer);  // -1 + errno on failure
      if (n > 0) {
        for (const std::string& request : framer.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
          const auto answer = instrument.Handle(request, now);
          if (!answer) continue;  // ignored, as the instrument would
          int64_t due = now;
          bool first = true;
          for (Piece& piece : faults.Shape(answer->body, answer->reply, instrument.setup().replyDelayMs)) {
            due = first ? std::max(now + piece.delayMs, lastDue) : due + piece.delayMs;
            first = false;
            queued += piece.bytes.size();
            out.push_back({due, std::move(piece.bytes)});
            lastDue = due;
          }
          while (queued > kMaxQueued && out.size() > 1) {
            queued -= out.front().bytes.size();
            out.pop_front();
          }
        }
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        // The slave end is held open, so end of input or EIO means the pty itself is gone;
        // going on would spin on a descriptor that stays readable.
        std::fprintf(stderr, "dravik-sim: reading the pty failed: %s\n", n == 0 ? "end of input" : std::strerror(errno));
        return 1;
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // The slave end is held open, so a hang-up means the pty itself is gone.
      std::fprintf(stderr, "dravik-sim: the pseudo-terminal hung up\n");
      return 1;
    }

    if (control >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      char buffer[1024];
      const ssize_t n = ::read(control, buffer, sizeof buffer);  // -1 + errno on failure, 0 at end
      if (n > 0) {
        controlBuffer.append(buffer, static_cast<std::size_t>(n));
        std::size_t eol;
        while ((eol = controlBuffer.find('\n')) != std::string::npos) {
          const std::string line = controlBuffer.substr(0, eol);
          controlBuffer.erase(0, eol + 1);
          if (const auto reply = HandleControl(line, instrument, faults, now)) {
            WriteLine(reply->line);
            if (reply->quit) return 0;
          }
        }
        if (controlBuffer.size() > 64 * 1024) controlBuffer.clear();  // no line end in sight
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (io.controlEofQuits) return 0;
        control = -1;  // the channel is gone; the instrument goes on answering
      }
    }
  }
}

}  // namespace sim
