// The same read-out printed from the window and from a kept record: the window is fed the
// simulated instrument's replies and the examiner's entries, the record is made from the same
// instrument on its own, and both reports are drawn on a recording canvas: the same texts at the
// same places, call by call. The notes box's lines and those of a record's notes agree for short,
// long, many-line and unbreakable texts, before and after the window is shown.
#include <gtest/gtest.h>

#include <clocale>

#include "app/DravikPCMain.h"
#include "report/NotesBox.h"
#include "report/RecordReport.h"
#include "tests/app/FormReplies.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/SimReadout.h"

namespace {

const QString kParagraph =
    "Brakes pulled slightly to the left on the second run; the road surface was dry and the "
    "vehicle was loaded to about half of its rated payload.";

QString ManyLines() {
  QStringList lines;
  for (int i = 1; i <= 20; ++i) lines << QStringLiteral("line %1 of the examiner's notes").arg(i);
  return lines.join('\n');
}

const QString kNotes[] = {
    "10%g start trigger",
    "10%g start trigger\n" + kParagraph,
    ManyLines(),  // long enough for the box's vertical scroll bar, which narrows it
    QString(90, 'x') + "\n\tindented\ttabs  and  spaces  ",
    QString(),
};

QStringList Report(const ReportTexts& texts) {
  RecordingCanvas canvas(QSize(4800, 6600));
  DrawReport(canvas, texts);
  return canvas.calls;
}

}  // namespace

TEST(RecordReportParity, TheNotesWrapAsTheWindowsNotesBoxWrapsThem) {
  TDravikPCMainForm form;
  EXPECT_EQ(form.Memo1->font(), WindowFont());
  for (bool shown : {false, true}) {
    if (shown) {
      form.show();
      form.NotesGB->show();
    }
    for (const QString& notes : kNotes) {
      SCOPED_TRACE(notes.left(30).toStdString() + (shown ? " (shown)" : ""));
      form.Memo1->setPlainText(notes);
      EXPECT_EQ(WrapNotesAsShown(notes), form.Memo1Lines());
    }
  }
}

TEST(RecordReportParity, TheWindowAndAKeptReadOutPrintTheSameTextsAtTheSamePlaces) {
  std::setlocale(LC_ALL, "C");
  struct Case {
    const char* what;
    bool plus;
    uint16_t flags;
    std::array<bool, 3> ticks;
    QString notes;
  };
  const Case cases[] = {
      {"plus, pull, all ticked", true, 0xB000, {true, true, true}, "10%g start trigger\n" + kParagraph},
      {"plus, no pull, m/s²", true, 0x0000, {false, true, false}, ManyLines()},
      {"plus, 3%g trigger, imperial", true, 0x2400, {false, false, false}, QString()},
      {"plain, pull, main ticked", false, 0xB000, {true, false, false}, "10%g start trigger"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::InstrumentSetup setup;
    setup.featureWord = c.plus ? 0x0020 : 0x0000;
    setup.flagsWord = c.flags;

    TDravikPCMainForm form;
    for (const std::string& reply : ReadoutReplies(setup)) TakeReply(form, reply);
    form.MainCB->setChecked(c.ticks[0]);
    form.SecondaryCB->setChecked(c.ticks[1]);
    form.ParkingCB->setChecked(c.ticks[2]);
    form.VehicleEB->setText(QString::fromUtf8("AB12 CDÉ"));
    form.ExaminerEB->setText("=Smith");
    if (!c.notes.isEmpty()) form.Memo1->setPlainText(c.notes);
    form.ShowConnectedView();  // the captions follow the ticks here

    protocol::ReadoutRecord record = RecordOf(setup);
    record.brakeTicked = c.ticks;
    record.vehicle = form.VehicleEB->text().toStdString();
    record.examiner = form.ExaminerEB->text().toStdString();
    record.notes = form.Memo1->toPlainText().toStdString();

    const QStringList fromRecord = Report(ReportTextsOf(record));
    EXPECT_EQ(fromRecord, Report(form.CollectReportTexts()));
    form.show();
    EXPECT_EQ(fromRecord, Report(form.CollectReportTexts()));
  }
}
