// "print" without the dialog: a window filled with known texts yields the report's texts and a
// PDF holding them; the instrument model picks the full or the short report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include "app/DravikPCMain.h"
#include "tests/app/FormReplies.h"
#include "tests/support/PdfText.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"

namespace {

const QString kParagraph =
    "Brakes pulled slightly to the left on the second run; the road surface was dry and the "
    "vehicle was loaded to about half of its rated payload.";

void Fill(TDravikPCMainForm& f) {
  f.SerialEB->setText("4711");
  f.CalibLAB->setText("Calibrate before:  01-02-2027");
  f.VehicleEB->setText("AB12CDE");
  f.ExaminerEB->setText("Smith");
  f.Test1GB->setTitle("Main brake");
  f.Test2GB->setTitle("Secondary");
  f.T1DateLAB->setText("10:01 01-12-26");
  f.T1PeakEB->setText("6.51");
  f.T1MeanEB->setText("5.11");
  f.T2PeakEB->setText("5.25");
  f.T3SpeedEB->setText("31");
  f.T2StopEB->setText("2.40");
  f.T3DistEB->setText("12.3");
  f.T1PullEB->setText("L03");
  f.T3PullGEB->setText("0.12");
  f.Flags17CB->setChecked(true);
  f.Memo1->setPlainText("10%g start trigger\n" + kParagraph);
}

}  // namespace

TEST(MainFormReport, CollectsTheTextsAsShown) {
  TDravikPCMainForm form;
  Fill(form);
  ReadModel(form, true);
  const ReportTexts t = form.CollectReportTexts();
  EXPECT_TRUE(t.PlusModel);
  EXPECT_TRUE(t.MeasurePull);
  EXPECT_EQ(t.Serial, "4711");
  EXPECT_EQ(t.Calibration, "Calibrate before:  01-02-2027");
  EXPECT_EQ(t.Vehicle, "AB12CDE");
  EXPECT_EQ(t.Examiner, "Smith");
  EXPECT_EQ(t.TestCaption[0], "Main brake");
  EXPECT_EQ(t.TestCaption[1], "Secondary");
  EXPECT_EQ(t.TestCaption[2], "Test 3");
  EXPECT_EQ(t.TestDate[0], "10:01 01-12-26");
  EXPECT_EQ(t.Peak[0], "6.51");
  EXPECT_EQ(t.Peak[1], "5.25");
  EXPECT_EQ(t.Mean[0], "5.11");
  EXPECT_EQ(t.Speed[2], "31");
  EXPECT_EQ(t.Stop[1], "2.40");
  EXPECT_EQ(t.Distance[2], "12.3");
  EXPECT_EQ(t.Pull[0], "L03");
  EXPECT_EQ(t.PullG[2], "0.12");
  EXPECT_EQ(t.Pull[1], "T2PullEDIT");

  // The long paragraph is wrapped as the box shows it, even though the box was never shown.
  ASSERT_GE(t.Notes.size(), 4);
  EXPECT_EQ(t.Notes[0], "10%g start trigger");
  EXPECT_EQ(t.Notes.mid(1).join(QString()), kParagraph);
  form.show();
  form.NotesGB->show();
  EXPECT_EQ(form.Memo1Lines(), t.Notes);
}

TEST(MainFormReport, PrintsTheFullOrTheShortReportToThePrinter) {
  struct Case {
    bool plus;
    const char* title;
    QStringList printed;
    QStringList absent;
  };
  const Case cases[] = {
      {true, "dravik+ printout", {"dravik+", "4711", "AB12CDE", "Smith", "Main", "6.51", "5.25", "31", "0.12", "L03",
                                 "Brakes"},
       {}},
      // The plain instrument: no captions (even with "Main brake" there), no other tests, no pull.
      {false, "dravik printout", {"dravik", "4711", "AB12CDE", "6.51", "5.11", "Brakes"},
       {"Main", "5.25", "31", "0.12", "L03", "Speed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    TDravikPCMainForm form;
    Fill(form);
    ReadModel(form, c.plus);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("report.pdf"));
    form.PrintReportTo(printer);
    const PdfText pdf = ReadPdfText(dir.filePath("report.pdf"));
    ASSERT_TRUE(pdf.ok);
    EXPECT_EQ(pdf.title, c.title);
    const QStringList words = pdf.Texts();
    for (const QString& w : c.printed) EXPECT_TRUE(words.contains(w)) << w.toStdString();
    for (const QString& w : c.absent) EXPECT_FALSE(words.contains(w)) << w.toStdString();
  }
}

TEST(MainFormReport, CancellingThePrinterDialogPrintsNothing) {
  TDravikPCMainForm form;
  Fill(form);
  ReadModel(form, true);
  form.show();
  int rejected = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
      ++rejected;
      dialog->reject();
    }
  });
  poll.start(10);
  // A report sent on after the cancel would go to the system's printer, or fail for want of one.
  EXPECT_NO_THROW(form.PrintBUTClick(form.PrintBUT));
  EXPECT_EQ(rejected, 1);
  ASSERT_NE(form.PrintDialog1, nullptr);
  EXPECT_EQ(form.PrintDialog1->objectName(), "PrintDialog1");
  EXPECT_EQ(form.PrintDialog1->result(), QDialog::Rejected);
}
