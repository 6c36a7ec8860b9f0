// "print": the printer dialog, the texts the report takes from the window, and the print itself.
#include <QPrintDialog>
#include <QPrinter>

#include "app/DravikPCMain.h"
#include "report/NotesBox.h"
#include "report/ReportQtCanvas.h"

void TDravikPCMainForm::PrintBUTClick(QObject*) {
  // The printer object keeps the examiner's choices from one report to the next.
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  if (!PrintDialog1) {
    PrintDialog1 = new QPrintDialog(printer_.get(), this);
    PrintDialog1->setObjectName(QStringLiteral("PrintDialog1"));
  }
  if (PrintDialog1->exec() != QDialog::Accepted) return;
  PrintReportTo(*printer_);
  KeepExaminerTexts();
}

void TDravikPCMainForm::PrintReportTo(QPrinter& printer) {
  const ReportTexts texts = CollectReportTexts();
  ReportQtCanvas canvas(printer);
  DrawReport(canvas, texts);
}

ReportTexts TDravikPCMainForm::CollectReportTexts() const {
  ReportTexts t;
  t.PlusModel = PlusModel();
  t.MeasurePull = Flags17CB->isChecked();
  t.Serial = SerialEB->text();
  t.Calibration = CalibLAB->text();
  t.Vehicle = VehicleEB->text();
  t.Examiner = ExaminerEB->text();
  t.TestCaption = {Test1GB->title(), Test2GB->title(), Test3GB->title()};
  t.TestDate = {T1DateLAB->text(), T2DateLAB->text(), T3DateLAB->text()};
  t.Peak = {T1PeakEB->text(), T2PeakEB->text(), T3PeakEB->text()};
  t.Mean = {T1MeanEB->text(), T2MeanEB->text(), T3MeanEB->text()};
  t.Speed = {T1SpeedEB->text(), T2SpeedEB->text(), T3SpeedEB->text()};
  t.Stop = {T1StopEB->text(), T2StopEB->text(), T3StopEB->text()};
  t.Distance = {T1DistEB->text(), T2DistEB->text(), T3DistEB->text()};
  t.Pull = {T1PullEB->text(), T2PullEB->text(), T3PullEB->text()};
  t.PullG = {T1PullGEB->text(), T2PullGEB->text(), T3PullGEB->text()};
  t.Notes = Memo1Lines();
  return t;
}

QStringList TDravikPCMainForm::Memo1Lines() const { return NotesBoxLines(*Memo1); }
