// Qt's QSerialPort on the Qt event loop: readyRead, read what is there, write the next request.
#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>

#include "bench/bench_client.h"

using namespace bench;

int main(int argc, char** argv) {
  const ClientArgs args = ParseClientArgs(argc, argv);
  QCoreApplication app(argc, argv);
  QSerialPort port(QString::fromLocal8Bit(args.port.c_str()));
  port.setBaudRate(9600);
  port.setDataBits(QSerialPort::Data8);
  port.setParity(QSerialPort::NoParity);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);
  if (!port.open(QIODevice::ReadWrite)) Fail("open: " + port.errorString().toStdString());
  ReportReady();

  static char buffer[65536];
  const auto send = [&](const std::string& bytes) { port.write(bytes.data(), static_cast<qint64>(bytes.size())); };
  ExchangeClock clock(args.warmup, args.count);
  PatternCheck check;
  uint64_t start = 0, last = 0;
  unsigned stalls = 0;
  QTimer stallTimer, quietTimer;

  switch (args.mode) {
    case Mode::Latency:
      QObject::connect(&port, &QSerialPort::readyRead, [&] {
        qint64 n;
        while ((n = port.read(buffer, sizeof buffer)) > 0)
          for (qint64 i = 0; i < n; ++i)
            if (clock.Feed(static_cast<uint8_t>(buffer[i]))) {
              if (clock.Done()) app.quit();
              else send(clock.NextRequest());
            }
      });
      send(clock.NextRequest());
      break;
    case Mode::Stream:
      QObject::connect(&port, &QSerialPort::readyRead, [&] {
        qint64 n;
        while ((n = port.read(buffer, sizeof buffer)) > 0) check.Feed(reinterpret_cast<uint8_t*>(buffer), n);
        last = NowNs();
        if (check.received() >= args.bytes) app.quit();
      });
      // The run ends early when the stream stops short.
      QObject::connect(&quietTimer, &QTimer::timeout, [&] {
        if (NowNs() - (last ? last : start) > kQuietLimitMs * 1'000'000ull) app.quit();
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
      send(MakeStreamRequest());
      break;
    case Mode::Idle:
      QObject::connect(&port, &QSerialPort::readyRead, [&] { app.quit(); });
      break;
  }
  app.exec();
  port.close();

  if (args.mode == Mode::Latency) ReportLatency(clock);
  if (args.mode == Mode::Stream) ReportStream(check, (last ? last : start) - start, stalls);
  if (args.mode == Mode::Idle) ReportIdle();
  return 0;
}
