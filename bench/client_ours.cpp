// Our stack: TApdComPort with an OnTriggerAvail handler on the Qt event loop, the way the
// program uses it (the platform's messages pumped by the Qt loop, bytes taken with ReadChar,
// requests queued with SendText). Built a second time with BENCH_GET_BLOCK as
// bench_client_oursbulk, whose handler takes all the announced bytes with one GetBlock. The
// port is found through the device map (COMn).
#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <string>

#include "bench/bench_client.h"
#include "platform/hooks.h"
#include "platform/qt/qtpump.h"
#include "serial/AdPort.h"

using namespace bench;

namespace {

// The data-available handler of each mode; runs on the user-interface thread.
struct Handlers {
  TApdComPort* port = nullptr;
  ExchangeClock* clock = nullptr;
  PatternCheck* check = nullptr;
  uint64_t total = 0;
  uint64_t last = 0;

#ifdef BENCH_GET_BLOCK
  char block[8192] = {};
  // The announced bytes, in one piece.
  const uint8_t* Take(uint16_t count) {
    port->GetBlock(block, count);
    return reinterpret_cast<const uint8_t*>(block);
  }
#endif

  void Exchange(QObject*, uint16_t count) {
#ifdef BENCH_GET_BLOCK
    const uint8_t* bytes = Take(count);
#endif
    for (uint16_t i = 0; i < count; ++i) {
#ifdef BENCH_GET_BLOCK
      const uint8_t byte = bytes[i];
#else
      const auto byte = static_cast<uint8_t>(port->ReadChar());
#endif
      if (clock->Feed(byte)) {
        if (clock->Done()) QCoreApplication::quit();
        else port->SendText(clock->NextRequest());
      }
    }
  }
  void Stream(QObject*, uint16_t count) {
#ifdef BENCH_GET_BLOCK
    check->Feed(Take(count), count);
#else
    for (uint16_t i = 0; i < count; ++i) check->Feed(static_cast<uint8_t>(port->ReadChar()));
#endif
    last = NowNs();
    if (check->received() >= total) QCoreApplication::quit();
  }
  void Idle(QObject*, uint16_t) { QCoreApplication::quit(); }
};

int ComNumber(const std::string& name) {
  if (name.rfind("COM", 0) != 0) Fail("port must be COMn (a device-map link): " + name);
  return std::stoi(name.substr(3));
}

}  // namespace

int main(int argc, char** argv) {
  const ClientArgs args = ParseClientArgs(argc, argv);
  QCoreApplication app(argc, argv);
  platform::InstallQtMessagePump();
  platform::SetShowErrorHook([](const std::string& message) { std::fprintf(stderr, "shown: %s\n", message.c_str()); });

  QObject owner;
  TApdComPort port(&owner);
  ExchangeClock clock(args.warmup, args.count);
  PatternCheck check;
  Handlers handlers;
  handlers.port = &port;
  handlers.clock = &clock;
  handlers.check = &check;
  handlers.total = args.bytes;
  try {
    port.SetComNumber(static_cast<uint16_t>(ComNumber(args.port)));
    port.SetBaud(9600);
    switch (args.mode) {
      case Mode::Latency: port.SetOnTriggerAvail(TTriggerAvailEvent(&handlers, &Handlers::Exchange)); break;
      case Mode::Stream: port.SetOnTriggerAvail(TTriggerAvailEvent(&handlers, &Handlers::Stream)); break;
      case Mode::Idle: port.SetOnTriggerAvail(TTriggerAvailEvent(&handlers, &Handlers::Idle)); break;
    }
    port.SetOpen(true);
  } catch (const std::exception& e) {
    Fail(std::string("open: ") + e.what());
  }
  ReportReady();

  uint64_t start = 0;
  unsigned stalls = 0;
  QTimer stallTimer, quietTimer;
  if (args.mode == Mode::Latency) {
    port.SendText(clock.NextRequest());
  } else if (args.mode == Mode::Stream) {
    QObject::connect(&quietTimer, &QTimer::timeout, [&] {
      if (NowNs() - (handlers.last ? handlers.last : start) > kQuietLimitMs * 1'000'000ull) app.quit();
    });
    quietTimer.start(1000);
    if (args.stall) {
      QObject::connect(&stallTimer, &QTimer::timeout, [&] {
        SleepNs(kStallLengthNs);
        ++stalls;
        stallTimer.setInterval(static_cast<int>(kStallPeriodNs / 1'000'000));
      });
      stallTimer.start(static_cast<int>(kStallFirstNs / 1'000'000));
    }
    start = NowNs();
    port.SendText(MakeStreamRequest());
  }
  app.exec();
  port.SetOpen(false);

  if (args.mode == Mode::Latency) ReportLatency(clock);
  if (args.mode == Mode::Stream) ReportStream(check, (handlers.last ? handlers.last : start) - start, stalls);
  if (args.mode == Mode::Idle) ReportIdle();
  return 0;
}
