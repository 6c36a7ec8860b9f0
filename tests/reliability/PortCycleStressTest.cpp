// A thousand closes and reopens of one port while traffic flows both ways, started from inside
// the port's own data-available events (a close, deferred until the event is over; a move to
// another number, reopened when the close has finished) and from a timer (a close and reopen;
// a move), with the activity lights tracking the port throughout. Every reopen must come within
// a bound, no event may fail, and nothing may be left behind: threads, descriptors, windows,
// dispatchers (and, in the asan build, no leak).
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "serial/AdPort.h"
#include "serial/AdStatLt.h"
#include "serial/AdStatLtController.h"
#include "tests/reliability/ProcessFigures.h"
#include "tests/serial/PortTestSupport.h"

namespace {

constexpr int kCycles = 1000;

// The instrument's side of a pty: writes a little every millisecond and drains what the port
// sends, until stopped. Touches only the master descriptor.
class Traffic {
public:
  explicit Traffic(int master) : thread_([this, master] { Run(master); }) {}
  ~Traffic() {
    stop_ = true;
    thread_.join();
  }

private:
  void Run(int master) {
    const std::string chunk = "0123456789abcdef";
    char sink[4096];
    while (!stop_) {
      (void)::write(master, chunk.data(), chunk.size());  // EAGAIN while the port is closed: fine
      while (::read(master, sink, sizeof sink) > 0) {
      }
      pollfd idle{master, 0, 0};
      ::poll(&idle, 1, 1);  // a millisecond's pause
    }
  }

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

enum class Next { Choose, CloseInside, MoveInside };

struct Cycler {
  TApdCustomComPort* port = nullptr;
  uint16_t numbers[2] = {0, 0};
  int opens = 0;
  int failedReads = 0;
  Next next = Next::Choose;

  uint16_t Other() const { return port->ComNumber() == numbers[0] ? numbers[1] : numbers[0]; }

  void Opened(QObject*) { ++opens; }

  void Avail(QObject*, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) {
      try {
        port->ReadChar();
      } catch (...) {
        ++failedReads;  // the announced bytes must all be readable
      }
    }
    if (next == Next::CloseInside) {
      next = Next::Choose;
      port->SetOpen(false);
    } else if (next == Next::MoveInside) {
      next = Next::Choose;
      port->SetComNumber(Other());
    }
  }

  // Every millisecond: traffic out (which reopens a closed port), and the next cycle.
  void Tick() {
    if (port->PortState() == psShuttingDown) return;
    port->SendText("tick");
    if (next != Next::Choose) return;  // waiting for the event that does it
    switch (opens % 4) {
      case 0: next = Next::CloseInside; break;
      case 1: next = Next::MoveInside; break;
      case 2:
        port->SetOpen(false);
        port->SetOpen(true);
        break;
      case 3: port->SetComNumber(Other()); break;
    }
  }
};

TEST(PortCycleStress, AThousandReopensFromEventsAndTheTimerWhileTrafficFlows) {
  const int threads = ThreadCount();
  const int descriptors = OpenDescriptors();
  const int registry = DispatcherRegistryCount();
  {
    LinkedPty a(5), b(6);
    Traffic trafficA(a.Pair().master()), trafficB(b.Pair().master());

    QObject owner;
    QWidget lamps;
    auto* tx = new TApdStatusLight(&lamps);
    auto* rx = new TApdStatusLight(&lamps);
    auto* port = new TApdComPort(&owner);
    auto* lights = new TApdSLController(&owner);
    Cycler cycler;
    cycler.port = port;
    cycler.numbers[0] = 5;
    cycler.numbers[1] = 6;
    port->SetComNumber(5);
    port->SetOnTriggerAvail(TTriggerAvailEvent(&cycler, &Cycler::Avail));
    port->SetOnPortOpen(TNotifyEvent(&cycler, &Cycler::Opened));
    lights->SetComPort(port);
    lights->Lights()->SetTXDLight(tx);
    lights->Lights()->SetRXDLight(rx);
    lights->SetTracking(true);
    TakeShownErrors();

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      try {
        cycler.Tick();
      } catch (const std::exception& e) {
        ADD_FAILURE() << "tick: " << e.what();
      }
    });
    timer.start(1);
    while (cycler.opens <= kCycles) {
      const int before = cycler.opens;
      ASSERT_TRUE(WaitFor([&] { return cycler.opens > before; }, 10000 * SanitizerSlowdown()))
          << "no reopen within the bound after " << before << " opens";
    }
    timer.stop();
    EXPECT_EQ(cycler.failedReads, 0);
    port->SetOpen(false);
    ASSERT_TRUE(WaitFor([&] { return port->PortState() == psClosed; }));
    EXPECT_EQ(port->NotifyWindow(), nullptr);
    EXPECT_TRUE(TakeShownErrors().empty());
    delete lights;
    delete port;
  }
  EXPECT_TRUE(WaitFor([&] { return ThreadCount() == threads; })) << ThreadCount() << " threads, " << threads
                                                                 << " before";
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(DispatcherRegistryCount(), registry);
}

}  // namespace
