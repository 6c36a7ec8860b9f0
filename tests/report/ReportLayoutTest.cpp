// The report's layout on a recording canvas: page metrics, the full and the short report call by
// call for a 4800 x 6600 printable area, the pull rows, the note lines, and an early failure.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "platform/sysutils.h"
#include "report/ReportLayout.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/RecordingCanvas.h"

namespace {

ReportTexts SampleTexts(bool plus, bool pull) {
  ReportTexts t;
  t.PlusModel = plus;
  t.MeasurePull = pull;
  t.Serial = "1234";
  t.Calibration = "Calibrate before:  01-02-2027";
  t.Vehicle = "AB12 CDE";
  t.Examiner = "J. Smith";
  t.TestCaption = {"Main brake", "Secondary", "Test 3"};
  t.TestDate = {"10:01 01-12-26", "10:02 01-12-26", "10:03 01-12-26"};
  t.Peak = {"P1", "P2", "P3"};
  t.Mean = {"M1", "M2", "M3"};
  t.Speed = {"S1", "S2", "S3"};
  t.Stop = {"T1", "T2", "T3"};
  t.Distance = {"D1", "D2", "D3"};
  t.Pull = {"L1", "L2", "L3"};
  t.PullG = {"G1", "G2", "G3"};
  t.Notes = {"10%g start trigger", "wet road"};
  return t;
}

QStringList NoteCalls(const QStringList& notes) {
  QStringList calls;
  for (int i = 0; i < 13; ++i)
    calls << QStringLiteral("text 400 %1 [%2]").arg(3616 + 146 * i).arg(i < notes.size() ? notes[i] : QString());
  return calls;
}

const QSize kPage(4800, 6600);  // W 400, T 550, H 73, B 110

}  // namespace

TEST(ReportMetrics, DerivedFromThePrintableArea) {
  struct Case {
    QSize page;
    int W, T, H, B;
  };
  const Case cases[] = {
      {{4800, 6600}, 400, 550, 73, 110},  // 1.5 * 73 = 109.5 -> 110
      {{4800, 6390}, 400, 532, 71, 106},  // 1.5 * 71 = 106.5 -> 106
      {{4800, 6480}, 400, 540, 72, 108},  // exact
      {{4799, 6479}, 399, 539, 71, 106},  // remainders are dropped
      {{100, 90}, 8, 7, 1, 2},            // 1.5 -> 2
      {{100, 270}, 8, 22, 3, 4},          // 4.5 -> 4
      {{100, 450}, 8, 37, 5, 8},          // 7.5 -> 8
      {{11, 89}, 0, 7, 0, 0},             // too small for a line unit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.page.width() << "x" << c.page.height());
    const ReportMetrics m = ComputeReportMetrics(c.page);
    EXPECT_EQ(m.W, c.W);
    EXPECT_EQ(m.T, c.T);
    EXPECT_EQ(m.H, c.H);
    EXPECT_EQ(m.B, c.B);
  }
}

TEST(ReportLayout, FullReportCallByCall) {
  RecordingCanvas canvas(kPage);
  DrawReport(canvas, SampleTexts(true, true));
  QStringList expected = {
      "title dravik+ printout",
      "pen 1 #000000",
      "font Arial",
      "page",
      "begin",
      "height 219",
      "text 1200 275 [  dravik+ Test Report]",
      "height 110",
      "text 400 769 [         Serial No:  1234]",
      "text 2590 769 [Calibrate before:  01-02-2027]",
      "text 400 1061 [     Vehicle Reg:  AB12 CDE]",
      "text 400 1207 [         Examiner:  J. Smith]",
      "text 1495 1645 [Main brake]", "text 2590 1645 [Secondary]", "text 3685 1645 [Test 3]",
      "text 1495 1791 [10:01 01-12-26]", "text 2590 1791 [10:02 01-12-26]", "text 3685 1791 [10:03 01-12-26]",
      "text 400 2010 [Peak Decel.]", "text 1495 2010 [P1]", "text 2590 2010 [P2]", "text 3685 2010 [P3]",
      "text 400 2156 [Mean Decel.]", "text 1495 2156 [M1]", "text 2590 2156 [M2]", "text 3685 2156 [M3]",
      "text 400 2302 [Test Speed]", "text 1495 2302 [S1]", "text 2590 2302 [S2]", "text 3685 2302 [S3]",
      "text 400 2448 [Stop Time]", "text 1495 2448 [T1]", "text 2590 2448 [T2]", "text 3685 2448 [T3]",
      "text 400 2594 [Distance]", "text 1495 2594 [D1]", "text 2590 2594 [D2]", "text 3685 2594 [D3]",
      "text 400 2740 [L-R Pull]", "text 1495 2740 [L1]", "text 2590 2740 [L2]", "text 3685 2740 [L3]",
      "text 1495 2886 [G1]", "text 2590 2886 [G2]", "text 3685 2886 [G3]",
      "text 2006 3470 [NOTES]",
  };
  expected << NoteCalls({"10%g start trigger", "wet road"});
  expected << QStringLiteral("text 1495 5660 [%1]").arg(kReportFooter) << "end";
  EXPECT_EQ(canvas.calls, expected);
  EXPECT_TRUE(canvas.calls.contains("text 400 5368 []"));  // the thirteenth, empty, note line
}

TEST(ReportLayout, PullRowsOnlyWithMeasurePull) {
  RecordingCanvas with(kPage), without(kPage);
  DrawReport(with, SampleTexts(true, true));
  DrawReport(without, SampleTexts(true, false));
  QStringList pullRows = with.calls.filter(QRegularExpression(" (2740|2886) "));
  EXPECT_EQ(pullRows.size(), 7);
  EXPECT_TRUE(without.calls.filter(QRegularExpression(" (2740|2886) ")).isEmpty());
  QStringList rest = with.calls;
  for (const QString& call : pullRows) rest.removeOne(call);
  EXPECT_EQ(rest, without.calls);  // nothing else moves, "NOTES" included
}

TEST(ReportLayout, ShortReportPrintsTheFirstTestsDecelerationsOnly) {
  for (bool pull : {false, true}) {
    SCOPED_TRACE(pull ? "Measure Pull checked" : "Measure Pull unchecked");
    RecordingCanvas canvas(kPage);
    DrawReport(canvas, SampleTexts(false, pull));
    QStringList expected = {
        "title dravik printout",
        "pen 1 #000000",
        "font Arial",
        "page",
        "begin",
        "height 219",
        "text 1200 275 [   dravik Test Report]",
        "height 110",
        "text 400 769 [         Serial No:  1234]",
        "text 2590 769 [Calibrate before:  01-02-2027]",
        "text 400 1061 [     Vehicle Reg:  AB12 CDE]",
        "text 400 1207 [         Examiner:  J. Smith]",
        "text 1495 1791 [10:01 01-12-26]",
        "text 400 2010 [Peak Decel.]", "text 1495 2010 [P1]",
        "text 400 2156 [Mean Decel.]", "text 1495 2156 [M1]",
        "text 2006 3470 [NOTES]",
    };
    expected << NoteCalls({"10%g start trigger", "wet road"});
    expected << QStringLiteral("text 1495 5660 [%1]").arg(kReportFooter) << "end";
    EXPECT_EQ(canvas.calls, expected);
  }
}

TEST(ReportLayout, NoteLines) {
  struct Case {
    const char* what;
    QStringList notes;
    QStringList printed;
  };
  QStringList twenty;
  for (int i = 1; i <= 20; ++i) twenty << QStringLiteral("line %1").arg(i);
  const QString longLine(5000, QChar('x'));
  const Case cases[] = {
      {"empty box", {}, {}},
      {"twenty lines print the first thirteen", twenty, twenty.first(13)},
      {"a line is cut at 4096 characters", {longLine, "next"}, {longLine.left(4096), "next"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportTexts t = SampleTexts(true, false);
    t.Notes = c.notes;
    RecordingCanvas canvas(kPage);
    DrawReport(canvas, t);
    const QStringList notes = canvas.Texts().filter(QRegularExpression("^text 400 (3616|3762|3908|4054|4200|4346|4492|4638|4784|4930|5076|5222|5368) "));
    EXPECT_EQ(notes, NoteCalls(c.printed));
  }
}

TEST(ReportLayout, AFailingPrinterEndsTheReport) {
  RecordingCanvas canvas(kPage);
  canvas.onBeginDoc = [] { throw platform::Exception("printer gone"); };
  EXPECT_THROW(DrawReport(canvas, SampleTexts(true, true)), platform::Exception);
  EXPECT_TRUE(canvas.Texts().isEmpty());
  EXPECT_FALSE(canvas.calls.contains("end"));
}
