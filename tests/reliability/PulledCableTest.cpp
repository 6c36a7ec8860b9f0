// A pulled cable: the simulator is killed while the program is connected (its pty master closes
// at once and its comN link is left dangling), and later a new simulator registers under the
// same number. The program must neither hang nor spin while the device is gone, tell the user
// once, and read the instrument again without a restart once it is back.
//
// The test keeps a descriptor of its own on each simulator's pty, taken before the program
// opens it (later the program's exclusive open would refuse it). Once the cable is out the
// pty's device node is gone, but while that descriptor is open the system cannot give the pty's
// number to a new one (tests running beside this one make them all the time), which would bring
// the dangling link back to life on someone else's line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <iostream>
#include <memory>

#include "app/DravikPCMain.h"
#include "tests/app/AppTestSupport.h"
#include "tests/reliability/ProcessFigures.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/SimProcess.h"

namespace {

const QString kTransmitFailed = QStringLiteral("Problem Comms tx");
// Processor time allowed while the device is gone: 1 % of one core.
constexpr double kIdleShare = 0.01;
constexpr int kGoneMs = 5000;

// A descriptor on a tty, closed with the object.
class HeldTty {
public:
  explicit HeldTty(const QString& path) : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~HeldTty() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Held() const { return fd_ >= 0; }

private:
  int fd_;  // -1 when the open failed
};

class PulledCable : public ::testing::Test {
protected:
  bool Connected() const { return form.ConnectedRB->isChecked() && GroupsShown(form); }
  bool WaitConnected() { return WaitFor([&] { return Connected(); }, 20000); }

  // Kills the simulator and checks what the program does while the device is gone.
  void PullAndWatch(std::unique_ptr<SimProcess>& sim, int boxesBefore) {
    sim->Kill();
    sim.reset();
    // The next poll finds the device gone: the view drops, the port is closed, the reopen fails
    // and says so once.
    ASSERT_TRUE(WaitFor([&] { return !Connected() && boxes->shown.size() > boxesBefore; }, 10000));
    EXPECT_EQ(boxes->shown.size(), boxesBefore + 1);
    EXPECT_EQ(boxes->shown.last(), kTransmitFailed);

    const double cpu = ProcessCpuMs();
    QElapsedTimer clock;
    clock.start();
    RunEventLoopFor(kGoneMs);
    const double used = ProcessCpuMs() - cpu;
    const double share = used / static_cast<double>(clock.elapsed());
    std::cout << "processor time while the device was gone: " << used << " ms in " << clock.elapsed()
              << " ms (" << share * 100.0 << " % of a core)\n";
    RecordProperty("gone_cpu_permille", static_cast<int>(share * 1000.0));
    EXPECT_LT(share, kIdleShare * SanitizerSlowdown());

    EXPECT_EQ(boxes->shown.size(), boxesBefore + 1) << "the failure was told more than once";
    EXPECT_TRUE(form.Session->Timer1->Enabled()) << "the cycle goes on trying";
    EXPECT_NE(form.Session->ApdComPort1->PortState(), psOpen) << "a dead port left open";
  }

  // A simulator, on the given number (the cable plugged in again) or a new one.
  std::unique_ptr<SimProcess> PlugIn(int number = 0) {
    auto sim = number ? std::make_unique<SimProcess>(QStringList{QStringLiteral("--com"), QString::number(number)})
                      : std::make_unique<SimProcess>();
    held = std::make_unique<HeldTty>(sim->Tty());
    EXPECT_TRUE(held->Held()) << sim->Tty().toStdString();
    return sim;
  }

  BoxesInstalled boxes;
  TDravikPCMainForm form;
  std::unique_ptr<HeldTty> held;  // the current simulator's pty
};

TEST_F(PulledCable, TheProgramWaitsQuietlyAndReadsTheInstrumentAgainWhenItIsBack) {
  auto sim = PlugIn();
  const int number = sim->Number();
  ASSERT_GT(number, 0) << "dravik-sim did not start";
  ShowForm(form);
  ConnectTo(form, number);
  ASSERT_TRUE(WaitConnected());
  const int threads = ProcessThreads();

  PullAndWatch(sim, 0);

  sim = PlugIn(number);
  ASSERT_EQ(sim->Number(), number) << "the new simulator did not take over the number";
  EXPECT_TRUE(WaitConnected()) << "the instrument was not read again";
  EXPECT_EQ(form.SerialEB->text(), QStringLiteral("0123"));
  EXPECT_EQ(ProcessThreads(), threads);

  // Pulled a second time: the link worked in between, so the user is told again, once.
  PullAndWatch(sim, 1);
  sim = PlugIn(number);
  EXPECT_TRUE(WaitConnected());
  EXPECT_EQ(boxes->shown, (QStringList{kTransmitFailed, kTransmitFailed}));
}

}  // namespace
