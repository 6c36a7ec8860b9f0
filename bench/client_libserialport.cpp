// libserialport: blocking writes, a blocking read of each reply, a blocking read of whatever
// comes next while streaming, and the event wait while idle.
//
// libserialport cannot open a pty by itself: it looks the port up in sysfs and insists on the
// modem-line ioctls, which a pty refuses. serial_bench runs this client with the LD_PRELOAD shim
// of sp_pty_shim.cpp, which answers those two for ptys only.
#include <libserialport.h>

#include <string>

#include "bench/bench_client.h"

using namespace bench;

namespace {

sp_port* port = nullptr;

void Check(sp_return result, const char* what) {
  if (result >= 0) return;
  char* message = sp_last_error_message();
  const std::string text = std::string(what) + ": " + std::to_string(result) + " " + (message ? message : "");
  sp_free_error_message(message);
  Fail(text);
}

void WriteAll(const std::string& bytes) {
  const sp_return n = sp_blocking_write(port, bytes.data(), bytes.size(), 0);
  Check(n, "sp_blocking_write");
  if (static_cast<std::size_t>(n) != bytes.size()) Fail("short write");
}

}  // namespace

int main(int argc, char** argv) {
  const ClientArgs args = ParseClientArgs(argc, argv);
  Check(sp_get_port_by_name(args.port.c_str(), &port), "sp_get_port_by_name");
  Check(sp_open(port, SP_MODE_READ_WRITE), "sp_open");
  Check(sp_set_baudrate(port, 9600), "sp_set_baudrate");
  Check(sp_set_bits(port, 8), "sp_set_bits");
  Check(sp_set_parity(port, SP_PARITY_NONE), "sp_set_parity");
  Check(sp_set_stopbits(port, 1), "sp_set_stopbits");
  Check(sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE), "sp_set_flowcontrol");
  ReportReady();

  static uint8_t buffer[65536];
  switch (args.mode) {
    case Mode::Latency: {
      ExchangeClock clock(args.warmup, args.count);
      while (!clock.Done()) {
        WriteAll(clock.NextRequest());
        const sp_return n = sp_blocking_read(port, buffer, kReplySize, kQuietLimitMs);
        Check(n, "sp_blocking_read");
        if (n == 0) Fail("no reply");
        for (int i = 0; i < n; ++i) clock.Feed(buffer[i]);
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
        const sp_return n = sp_blocking_read_next(port, buffer, sizeof buffer, kQuietLimitMs);
        Check(n, "sp_blocking_read_next");
        if (n == 0) break;
        check.Feed(buffer, static_cast<std::size_t>(n));
        last = NowNs();
      }
      ReportStream(check, last - start, stalls.Count());
      break;
    }
    case Mode::Idle: {
      sp_event_set* events = nullptr;
      Check(sp_new_event_set(&events), "sp_new_event_set");
      Check(sp_add_port_events(events, port, SP_EVENT_RX_READY), "sp_add_port_events");
      Check(sp_wait(events, 0), "sp_wait");
      sp_free_event_set(events);
      ReportIdle();
      break;
    }
  }
  sp_close(port);
  sp_free_port(port);
  return 0;
}
