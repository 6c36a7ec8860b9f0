// "print": the printer dialog, the texts the report takes from the window, and the print itself.
#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "app/DravikPCMain.h"
#include "app/ReportQtCanvas.h"

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

QStringList TDravikPCMainForm::Memo1Lines() const {
  // A box that has never been shown has not had its size delivered yet, so its text would not
  // wrap at its width; deliver it now (Qt delivers it again, harmlessly, when the box shows).
  // The box lays out its viewport, and the viewport's size is what the text wraps at.
  for (QWidget* widget : {static_cast<QWidget*>(Memo1), Memo1->viewport()}) {
    if (!widget->testAttribute(Qt::WA_PendingResizeEvent)) continue;
    QResizeEvent resize(widget->size(), QSize());
    QCoreApplication::sendEvent(widget, &resize);
  }
  QStringList lines;
  QTextDocument* document = Memo1->document();
  QAbstractTextDocumentLayout* documentLayout = document->documentLayout();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    // Asking for the block's extent lays it out at the box's width if it has not been yet.
    documentLayout->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    const QString text = block.text();
    if (!layout || layout->lineCount() == 0) {
      lines << text;
      continue;
    }
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      lines << text.mid(line.textStart(), line.textLength());
    }
  }
  return lines;
}
