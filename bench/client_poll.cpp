// The floor: a plain poll() + read() loop on the tty, no library at all.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "bench/bench_client.h"

using namespace bench;

namespace {

int fd = -1;

void WriteAll(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);  // -1 + errno on failure
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, -1);  // -1 + EINTR: look again
    } else if (!(n < 0 && errno == EINTR)) {
      Fail(std::string("write: ") + std::strerror(errno));
    }
  }
}

// Waits for input at most `timeoutMs` (-1: no limit) and reads what is there; 0 on time-out.
ssize_t ReadSome(uint8_t* buffer, std::size_t size, int timeoutMs) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);  // -1 + errno on failure
    if (ready == 0) return 0;
    if (ready < 0) {
      if (errno == EINTR) continue;
      Fail(std::string("poll: ") + std::strerror(errno));
    }
    const ssize_t n = ::read(fd, buffer, size);  // -1 + errno on failure
    if (n > 0) return n;
    if (n == 0) Fail("end of input");
    if (errno != EAGAIN && errno != EINTR) Fail(std::string("read: ") + std::strerror(errno));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const ClientArgs args = ParseClientArgs(argc, argv);
  fd = ::open(args.port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);  // -1 + errno on failure
  if (fd < 0) Fail("open " + args.port + ": " + std::strerror(errno));
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) Fail(std::string("tcgetattr: ") + std::strerror(errno));
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetspeed(&tio, B9600);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) Fail(std::string("tcsetattr: ") + std::strerror(errno));
  ReportReady();

  static uint8_t buffer[65536];
  switch (args.mode) {
    case Mode::Latency: {
      ExchangeClock clock(args.warmup, args.count);
      WriteAll(clock.NextRequest());
      while (!clock.Done()) {
        const ssize_t n = ReadSome(buffer, sizeof buffer, kQuietLimitMs);
        if (n == 0) Fail("no reply");
        for (ssize_t i = 0; i < n; ++i)
          if (clock.Feed(buffer[i]) && !clock.Done()) WriteAll(clock.NextRequest());
      }
      ReportLatency(clock);
      break;
    }
    case Mode::Stream: {
      PatternCheck check;
      StallSchedule stalls;
      const uint64_t start = NowNs();
      if (args.stall) stalls.Start(start);
      WriteAll(MakeStreamRequest());
      uint64_t last = start;
      while (check.received() < args.bytes) {
        if (args.stall) stalls.MaybeStall();
        const ssize_t n = ReadSome(buffer, sizeof buffer, kQuietLimitMs);
        if (n == 0) break;
        check.Feed(buffer, static_cast<std::size_t>(n));
        last = NowNs();
      }
      ReportStream(check, last - start, stalls.Count());
      break;
    }
    case Mode::Idle:
      ReadSome(buffer, sizeof buffer, -1);
      ReportIdle();
      break;
  }
  ::close(fd);
  return 0;
}
