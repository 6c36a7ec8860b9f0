// The guided tour itself: dravikPC's real window against a real dravik-sim, step by step, as an
// examiner would use it: pick the port and connect, type the vehicle and the examiner, look at
// the window (a picture), print the report (a PDF through Qt's printer), press "CLEAR" and see
// the instrument read again, close the window; and, when asked, open the archive in
// dravik-records' window and reprint what the tour kept.
#pragma once
#include <QString>
#include <cstdint>
#include <memory>

#include "tests/support/SimProcess.h"
#include "tools/dravik-tour/StepRunner.h"
#include "tools/dravik-tour/TourBoxes.h"
#include "tools/dravik-tour/TourOptions.h"

class TDravikPCMainForm;

namespace tour {

class Tour {
public:
  // `simProgram`: the dravik-sim to start. Needs the application object (QApplication).
  Tour(TourOptions options, QString simProgram);
  ~Tour();

  // Runs every step; returns the process's exit code (0 only when every step succeeded).
  int Run();

private:
  StepResult StartSimulator(int timeoutMs);
  StepResult OpenWindow(int timeoutMs);
  StepResult Connect(int timeoutMs);
  StepResult TypeEntries(int timeoutMs);
  StepResult SavePicture(int timeoutMs);
  StepResult PrintReport(int timeoutMs);
  StepResult ClearResults(int timeoutMs);
  StepResult CloseWindow(int timeoutMs);
  StepResult ReprintInRecords(int timeoutMs);  // TourRecords.cpp

  // The connected view is up: the read-out has completed and the next tick has shown it.
  bool Connected() const;
  // Fails the step when the program asked for a message box since `before` boxes.
  std::string BoxesSince(int before) const;
  // The COM number of the instrument: the simulator's, or the one given with --port.
  int PortNumber() const { return options_.port ? *options_.port : sim_ ? sim_->Number() : 0; }

  TourOptions options_;
  QString simProgram_;
  std::shared_ptr<TourBoxes> boxes_;
  std::unique_ptr<::SimProcess> sim_;  // from the step that starts it; none with --port
  std::unique_ptr<TDravikPCMainForm> form_;
  int64_t startedUtcMs_ = 0;  // when Run began: the read-outs kept since are this tour's
};

}  // namespace tour
