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
#include <optional>

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

// The loop's state and its three jobs: writing what is due, taking requests from the pty, and
// the control channel. Each job returns an exit status when the loop is to end.
class SimLoop {
public:
  SimLoop(const LoopIo& io, Instrument& instrument, FaultPlan& faults)
      : io_(io), instrument_(instrument), faults_(faults), control_(io.control) {}

  int Run() {
    for (;;) {
      int64_t now = MonotonicMs();
      if (const auto end = WriteDue(now)) return *end;

      int timeout = -1;
      if (!out_.empty() && !blocked_) timeout = static_cast<int>(std::max<int64_t>(0, out_.front().dueMs - now));
      pollfd fds[3] = {{io_.master, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
                       {io_.signals, POLLIN, 0},
                       {control_, POLLIN, 0}};
      const int count = control_ >= 0 ? 3 : 2;
      if (::poll(fds, static_cast<nfds_t>(count), timeout) < 0) {  // -1 + errno on failure
        if (errno == EINTR) continue;
        std::fprintf(stderr, "dravik-sim: poll failed: %s\n", std::strerror(errno));
        return 1;
      }
      now = MonotonicMs();
      if (fds[1].revents & POLLIN) return 0;  // SIGINT, SIGTERM or SIGHUP: end cleanly
      if (const auto end = ReadPty(fds[0].revents, now)) return *end;
      if (control_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
        if (const auto end = ReadControl(now)) return *end;
    }
  }

private:
  // Writes every piece that is due, in order.
  std::optional<int> WriteDue(int64_t now) {
    while (!out_.empty() && out_.front().dueMs <= now) {
      std::string& bytes = out_.front().bytes;
      const ssize_t n = ::write(io_.master, bytes.data(), bytes.size());  // -1 + errno on failure
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) {
          blocked_ = errno == EAGAIN;
          break;
        }
        std::fprintf(stderr, "dravik-sim: write to the pty failed: %s\n", std::strerror(errno));
        return 1;
      }
      blocked_ = false;
      queued_ -= static_cast<std::size_t>(n);
      bytes.erase(0, static_cast<std::size_t>(n));
      if (!bytes.empty()) {
        blocked_ = true;
        break;
      }
      out_.pop_front();
    }
    return std::nullopt;
  }

  std::optional<int> ReadPty(short revents, int64_t now) {
    if (revents & POLLIN) {
      char buffer[512];
      const ssize_t n = ::read(io_.master, buffer, sizeof buffer);  // -1 + errno on failure
      if (n > 0) {
        for (const std::string& request : framer_.Feed(std::string_view(buffer, static_cast<std::size_t>(n))))
          Answer(request, now);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        // The slave end is held open, so end of input or EIO means the pty itself is gone;
        // going on would spin on a descriptor that stays readable.
        std::fprintf(stderr, "dravik-sim: reading the pty failed: %s\n", n == 0 ? "end of input" : std::strerror(errno));
        return 1;
      }
    } else if (revents & (POLLHUP | POLLERR)) {
      // The slave end is held open, so a hang-up means the pty itself is gone.
      std::fprintf(stderr, "dravik-sim: the pseudo-terminal hung up\n");
      return 1;
    }
    return std::nullopt;
  }

  // Queues the reply to one request, shaped by the faults, after the replies already queued.
  void Answer(const std::string& request, int64_t now) {
    const auto answer = instrument_.Handle(request, now);
    if (!answer) return;  // ignored, as the instrument would
    int64_t due = now;
    bool first = true;
    for (Piece& piece : faults_.Shape(answer->body, answer->reply, instrument_.setup().replyDelayMs)) {
      due = first ? std::max(now + piece.delayMs, lastDue_) : due + piece.delayMs;
      first = false;
      queued_ += piece.bytes.size();
      out_.push_back({due, std::move(piece.bytes)});
      lastDue_ = due;
    }
    while (queued_ > kMaxQueued && out_.size() > 1) {
      queued_ -= out_.front().bytes.size();
      out_.pop_front();
    }
  }

  std::optional<int> ReadControl(int64_t now) {
    char buffer[1024];
    const ssize_t n = ::read(control_, buffer, sizeof buffer);  // -1 + errno on failure, 0 at end
    if (n > 0) {
      controlBuffer_.append(buffer, static_cast<std::size_t>(n));
      std::size_t eol;
      while ((eol = controlBuffer_.find('\n')) != std::string::npos) {
        const std::string line = controlBuffer_.substr(0, eol);
        controlBuffer_.erase(0, eol + 1);
        if (const auto reply = HandleControl(line, instrument_, faults_, now)) {
          WriteLine(reply->line);
          if (reply->quit) return 0;
        }
      }
      if (controlBuffer_.size() > 64 * 1024) controlBuffer_.clear();  // no line end in sight
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      if (io_.controlEofQuits) return 0;
      control_ = -1;  // the channel is gone; the instrument goes on answering
    }
    return std::nullopt;
  }

  const LoopIo& io_;
  Instrument& instrument_;
  FaultPlan& faults_;
  RequestFramer framer_;
  std::deque<Pending> out_;  // reply pieces in the order they go out
  std::size_t queued_ = 0;   // bytes in out_
  int64_t lastDue_ = 0;      // when the last queued piece is due: replies never overtake
  bool blocked_ = false;     // the last write would have blocked: wait for POLLOUT
  std::string controlBuffer_;
  int control_;  // the control channel, -1 once it is gone
};

}  // namespace

int RunSimLoop(const LoopIo& io, Instrument& instrument, FaultPlan& faults) {
  return SimLoop(io, instrument, faults).Run();
}

}  // namespace sim
