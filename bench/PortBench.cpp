// Benchmark of the port component over a pty pair (not a test): the latency from a byte written
// at the master to the start of OnTriggerAvail, and the sustained receive throughput of a
// handler that reads every byte, each compared with a plain poll()+read() loop on the same pty
// in the same run. The user-interface thread runs the Qt event loop, which pumps the platform's
// messages, as in the program.
//
// Usage: port_bench [exchanges [megabytes]]   (defaults 10000 and 16)
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/portmap.h"
#include "platform/pty.h"
#include "platform/qt/qtpump.h"
#include "serial/AdPort.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Stats {
  double median, p99;
};

Stats Summarise(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
  return {at(0.5), at(0.99)};
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

// The port's data-available handler for both measurements.
struct Receiver {
  TApdComPort* port = nullptr;
  QEventLoop* loop = nullptr;
  Clock::time_point firstCall;
  bool called = false;
  uint64_t expected = 0;  // bytes the throughput run waits for
  uint64_t received = 0;
  uint64_t wrong = 0;     // bytes that broke the counter pattern
  bool latencyMode = true;

  void Avail(QObject*, uint16_t count) {
    if (latencyMode) {
      if (!called) firstCall = Clock::now();
      called = true;
      for (uint16_t i = 0; i < count; ++i) port->ReadChar();
      loop->quit();
      return;
    }
    for (uint16_t i = 0; i < count; ++i) {
      const auto byte = static_cast<uint8_t>(port->ReadChar());
      if (byte != static_cast<uint8_t>(received)) ++wrong;
      ++received;
    }
    if (received >= expected) loop->quit();
  }
};

std::vector<double> PortLatency(TApdComPort& port, Receiver& r, int master, int exchanges) {
  std::vector<double> samples;
  QEventLoop loop;
  r.loop = &loop;
  r.latencyMode = true;
  const uint8_t byte = 'x';
  for (int i = 0; i < exchanges; ++i) {
    r.called = false;
    const auto start = Clock::now();
    WriteAll(master, &byte, 1);
    loop.exec();
    samples.push_back(Micros(r.firstCall - start));
  }
  (void)port;
  return samples;
}

std::vector<double> PlainLatency(int master, int slave, int exchanges) {
  std::vector<double> samples;
  const uint8_t byte = 'x';
  uint8_t in[64];
  for (int i = 0; i < exchanges; ++i) {
    const auto start = Clock::now();
    WriteAll(master, &byte, 1);
    pollfd p{slave, POLLIN, 0};
    ::poll(&p, 1, -1);
    const auto ready = Clock::now();
    if (::read(slave, in, sizeof(in)) <= 0) std::abort();
    samples.push_back(Micros(ready - start));
  }
  return samples;
}

// Writes `total` bytes of the counter pattern at the master from another thread.
std::thread Writer(int master, uint64_t total) {
  return std::thread([master, total] {
    std::vector<uint8_t> block(4096);
    uint64_t sent = 0;
    while (sent < total) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), total - sent));
      for (size_t i = 0; i < n; ++i) block[i] = static_cast<uint8_t>(sent + i);
      WriteAll(master, block.data(), n);
      sent += n;
    }
  });
}

double PortThroughput(Receiver& r, int master, uint64_t total) {
  QEventLoop loop;
  r.loop = &loop;
  r.latencyMode = false;
  r.received = r.wrong = 0;
  r.expected = total;
  const auto start = Clock::now();
  std::thread writer = Writer(master, total);
  loop.exec();
  const auto end = Clock::now();
  writer.join();
  return total / std::chrono::duration<double>(end - start).count() / 1e6;
}

double PlainThroughput(int master, int slave, uint64_t total, uint64_t& wrong) {
  std::vector<uint8_t> in(8192);
  uint64_t received = 0;
  wrong = 0;
  const auto start = Clock::now();
  std::thread writer = Writer(master, total);
  while (received < total) {
    pollfd p{slave, POLLIN, 0};
    ::poll(&p, 1, -1);
    const ssize_t n = ::read(slave, in.data(), in.size());
    for (ssize_t i = 0; i < n; ++i, ++received)
      if (in[static_cast<size_t>(i)] != static_cast<uint8_t>(received)) ++wrong;
  }
  const auto end = Clock::now();
  writer.join();
  return total / std::chrono::duration<double>(end - start).count() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::atoi(argv[1]) : 10000;
  const uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 16;
  const uint64_t total = megabytes << 20;

  QCoreApplication app(argc, argv);
  platform::InstallQtMessagePump();
  const std::string folder =
      std::filesystem::temp_directory_path() / ("dravik-port-bench-" + std::to_string(::getpid()));
  ::setenv("DRAVIK_DEVICEMAP", folder.c_str(), 1);
  std::filesystem::create_directories(folder);
  platform::PtyPair pty(true);
  std::filesystem::create_symlink(pty.slavePath(), std::filesystem::path(folder) / "com1");

  double portMBs = 0;
  std::vector<double> portLatency;
  Receiver r;
  {
    QObject owner;
    TApdComPort port(&owner);
    port.SetComNumber(1);
    r.port = &port;
    port.SetOnTriggerAvail(TTriggerAvailEvent(&r, &Receiver::Avail));
    port.SetOpen(true);
    portLatency = PortLatency(port, r, pty.master(), exchanges);
    portMBs = PortThroughput(r, pty.master(), total);
    port.SetOpen(false);
  }

  const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) return 1;
  termios raw{};
  ::tcgetattr(slave, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave, TCSANOW, &raw);
  const std::vector<double> plainLatency = PlainLatency(pty.master(), slave, exchanges);
  uint64_t plainWrong = 0;
  const double plainMBs = PlainThroughput(pty.master(), slave, total, plainWrong);
  ::close(slave);
  std::filesystem::remove_all(folder);

  const Stats p = Summarise(portLatency), q = Summarise(plainLatency);
  std::printf("latency, %d single-byte exchanges (microseconds)\n", exchanges);
  std::printf("  OnTriggerAvail   median %8.1f   p99 %8.1f\n", p.median, p.p99);
  std::printf("  poll()+read()    median %8.1f   p99 %8.1f\n", q.median, q.p99);
  std::printf("  ratio            median %8.1f   p99 %8.1f\n", p.median / q.median, p.p99 / q.p99);
  std::printf("throughput, %llu MiB through a reading handler (MB/s)\n",
              static_cast<unsigned long long>(megabytes));
  std::printf("  OnTriggerAvail   %8.1f   (bytes out of pattern: %llu)\n", portMBs,
              static_cast<unsigned long long>(r.wrong));
  std::printf("  poll()+read()    %8.1f   (bytes out of pattern: %llu)\n", plainMBs,
              static_cast<unsigned long long>(plainWrong));
  std::printf("  ratio            %8.2f\n", portMBs / plainMBs);
  return r.wrong == 0 && plainWrong == 0 ? 0 : 2;
}
