// The report printed for real through Qt's printer into a PDF file and read back with pdftotext:
// text tops, left edges and cell heights where the layout puts them; printing errors raised.
#include <gtest/gtest.h>

#include <QPageLayout>
#include <QPrinter>
#include <QTemporaryDir>

#include "platform/sysutils.h"
#include "report/ReportLayout.h"
#include "report/ReportQtCanvas.h"
#include "tests/support/PdfText.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"

namespace {

// A PDF printer at 1200 dpi on A4 with margins, so the printable area does not start at the
// page's corner.
void SetUpPdf(QPrinter& printer, const QString& path) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageMargins(QMarginsF(10, 15, 10, 15), QPageLayout::Millimeter);
}

ReportTexts Texts() {
  ReportTexts t;
  t.PlusModel = true;
  t.MeasurePull = true;
  t.Serial = "4711";
  t.Calibration = "Calibrate before:  01-02-2027";
  t.Vehicle = "AB12CDE";
  t.Examiner = "Smith";
  t.TestCaption = {"Main brake", "Secondary", "Parking"};
  t.TestDate = {"10:01 01-12-26", "10:02 01-12-26", "10:03 01-12-26"};
  t.Peak = {"6.50", "5.25", "2.75"};
  t.Mean = {"5.10", "4.20", "2.00"};
  t.Notes = {"dry", "road"};
  return t;
}

constexpr double kTolerance = 1.0;  // points

}  // namespace

TEST(ReportPrint, TextsLandWhereTheLayoutPutsThem) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("report.pdf");
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdf(printer, path);
  const double res = printer.resolution();
  const QPoint origin = printer.pageLayout().paintRectPixels(printer.resolution()).topLeft();
  const ReportMetrics m = ComputeReportMetrics(QSize(printer.width(), printer.height()));
  ASSERT_GT(m.H, 50);
  {
    ReportQtCanvas canvas(printer);
    DrawReport(canvas, Texts());
  }
  const PdfText pdf = ReadPdfText(path);
  ASSERT_TRUE(pdf.ok) << "pdftotext failed";
  EXPECT_EQ(pdf.title, "dravik+ printout");

  auto ptX = [&](int px) { return (origin.x() + px) * 72.0 / res; };
  auto ptY = [&](int px) { return (origin.y() + px) * 72.0 / res; };
  struct Case {
    const char* word;
    int x;  // device pixels from the printable area's left; -1: the word does not start the text
    int y;  // top of the text
    int cell;
  };
  const Case cases[] = {
      {"dravik+", -1, m.T / 2, 3 * m.H},
      {"4711", -1, m.LineY(3), m.B},
      {"Calibrate", m.Test2X(), m.LineY(3), m.B},
      {"Examiner:", -1, m.LineY(9), m.B},
      {"Main", m.Test1X(), m.LineY(15), m.B},
      {"Peak", m.W, m.LineY(20), m.B},
      {"5.25", m.Test2X(), m.LineY(20), m.B},
      {"2.00", m.Test3X(), m.LineY(22), m.B},
      {"NOTES", m.W + 22 * m.H, m.LineY(40), m.B},
      {"road", m.W, m.LineY(44), m.B},
      {kReportFooter, m.Test1X(), m.LineY(70), m.B},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const PdfWord* w = pdf.Find(QString::fromLatin1(c.word));
    ASSERT_NE(w, nullptr) << testing::PrintToString(pdf.Texts());
    EXPECT_NEAR(w->yMin, ptY(c.y), kTolerance);
    EXPECT_NEAR(w->yMax - w->yMin, c.cell * 72.0 / res, kTolerance);
    if (c.x >= 0) {
      EXPECT_NEAR(w->xMin, ptX(c.x), kTolerance);
    }
  }
  // Leading spaces push a text right of its point: the heading's first word is past 3 W.
  EXPECT_GT(pdf.Find("dravik+")->xMin, ptX(3 * m.W) + kTolerance);
}

TEST(ReportPrint, APrinterThatCannotStartRaisesAndLeavesNoFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("missing-folder/report.pdf");
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdf(printer, path);
  try {
    ReportQtCanvas canvas(printer);
    DrawReport(canvas, Texts());
    FAIL() << "no error raised";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.Message(), "Printing failed: the printer could not start the document.");
  }
  EXPECT_FALSE(QFile::exists(path));
}
