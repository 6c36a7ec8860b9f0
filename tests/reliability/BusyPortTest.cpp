// A port that another program holds when the user presses "connect": the program says so,
// leaves nothing half open (no dispatcher, no thread, the tick off) and keeps "connect" usable;
// once the other program lets go, "connect" works.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "app/DravikPCMain.h"
#include "tests/app/AppTestSupport.h"
#include "tests/reliability/ProcessFigures.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/SimProcess.h"

namespace {

const QString kOpeningFailed = QStringLiteral("Problem opening comm port");

// dravik-port-holder: holds COM n until its standard input is closed.
class PortHolder {
public:
  explicit PortHolder(int number) : process_({DRAVIK_PORT_HOLDER_EXE, std::to_string(number)}) {
    answer_ = QString::fromStdString(process_.ReadLine()).trimmed();
  }
  ~PortHolder() { Release(); }
  const QString& Answer() const { return answer_; }
  void Release() {
    if (!process_.Running()) return;
    process_.CloseInput();
    if (!process_.WaitExit(5000)) process_.Stop(SIGKILL);
  }

private:
  ChildProcess process_;
  QString answer_;
};

TEST(BusyPort, ConnectSaysSoLeavesNothingOpenAndWorksOnceThePortIsFree) {
  BoxesInstalled boxes;
  TDravikPCMainForm form;
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << "dravik-sim did not start";
  PortHolder holder(sim.Number());
  ASSERT_EQ(holder.Answer(), QStringLiteral("held"));

  ShowForm(form);
  const int threads = ProcessThreads();
  const int descriptors = OpenDescriptors();
  for (int press = 1; press <= 2; ++press) {
    ConnectTo(form, sim.Number());
    EXPECT_EQ(boxes->shown.size(), press) << "a deliberate press is answered every time";
    EXPECT_EQ(boxes->shown.last(), kOpeningFailed);
    EXPECT_FALSE(form.Session->Timer1->Enabled());
    EXPECT_FALSE(form.Session->ApdComPort1->Open());
    EXPECT_EQ(form.Session->ApdComPort1->PortState(), psClosed);
    EXPECT_EQ(form.Session->ApdComPort1->GetDispatcher(), nullptr);
    EXPECT_EQ(form.Session->ApdComPort1->NotifyWindow(), nullptr);
    EXPECT_TRUE(form.ConnectBUT->isEnabled());
    EXPECT_TRUE(form.CommsCB->isEnabled());
    EXPECT_EQ(ProcessThreads(), threads);
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
  Settle(1500);
  EXPECT_EQ(sim.State()[QStringLiteral("requests")].toInt(), 0) << "nothing may reach the instrument";

  holder.Release();
  ConnectTo(form, sim.Number());
  EXPECT_TRUE(WaitFor([&] { return form.ConnectedRB->isChecked() && GroupsShown(form); }, 20000));
  EXPECT_EQ(boxes->shown.size(), 2);
}

}  // namespace
