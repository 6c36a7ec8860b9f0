// Positions and texts of the printed test report.
#include "report/ReportLayout.h"

const char* const kReportFooter = "www.dravik-instruments.com";

ReportMetrics ComputeReportMetrics(QSize page) {
  ReportMetrics m;
  m.W = page.width() / 12;
  m.T = page.height() / 12;
  m.H = page.height() / 90;
  // 1.5 * H: exact for even H; for odd H it lies halfway between two integers and goes to the
  // even one (71 -> 106, 73 -> 110).
  const int triple = 3 * m.H;
  m.B = triple / 2;
  if (triple % 2 != 0 && m.B % 2 != 0) ++m.B;
  return m;
}

namespace {

QString NoteLine(const QStringList& notes, int index) {
  if (index < 0 || index >= notes.size()) return QString();
  return notes.at(index).left(kReportNoteLineMax);
}

// A row of the results grid: its label at the left margin (none when empty), then the values of
// the first `columns` tests in their columns.
void DrawRow(ReportCanvas& canvas, const ReportMetrics& m, int units, const QString& label,
             const std::array<QString, 3>& values, int columns) {
  const int y = m.LineY(units);
  if (!label.isEmpty()) canvas.TextOut(m.W, y, label);
  const int xs[3] = {m.Test1X(), m.Test2X(), m.Test3X()};
  for (int i = 0; i < columns; ++i) canvas.TextOut(xs[i], y, values[i]);
}

}  // namespace

void DrawReport(ReportCanvas& canvas, const ReportTexts& t) {
  const bool full = t.PlusModel;
  canvas.SetTitle(full ? QStringLiteral("dravik+ printout") : QStringLiteral("dravik printout"));
  canvas.SetPen(1, QColor(0, 0, 0));
  canvas.SetFontName(QStringLiteral("Arial"));
  const ReportMetrics m = ComputeReportMetrics(canvas.PageSize());
  canvas.BeginDoc();

  canvas.SetFontHeight(3 * m.H);
  canvas.TextOut(3 * m.W, m.T / 2,
                 full ? QStringLiteral("  dravik+ Test Report") : QStringLiteral("   dravik Test Report"));

  canvas.SetFontHeight(m.B);
  canvas.TextOut(m.W, m.LineY(3), QStringLiteral("         Serial No:  ") + t.Serial);
  canvas.TextOut(m.Test2X(), m.LineY(3), t.Calibration);
  canvas.TextOut(m.W, m.LineY(7), QStringLiteral("     Vehicle Reg:  ") + t.Vehicle);
  canvas.TextOut(m.W, m.LineY(9), QStringLiteral("         Examiner:  ") + t.Examiner);

  if (full) {
    DrawRow(canvas, m, 15, QString(), t.TestCaption, 3);
    DrawRow(canvas, m, 17, QString(), t.TestDate, 3);
    DrawRow(canvas, m, 20, QStringLiteral("Peak Decel."), t.Peak, 3);
    DrawRow(canvas, m, 22, QStringLiteral("Mean Decel."), t.Mean, 3);
    DrawRow(canvas, m, 24, QStringLiteral("Test Speed"), t.Speed, 3);
    DrawRow(canvas, m, 26, QStringLiteral("Stop Time"), t.Stop, 3);
    DrawRow(canvas, m, 28, QStringLiteral("Distance"), t.Distance, 3);
    if (t.MeasurePull) {
      DrawRow(canvas, m, 30, QStringLiteral("L-R Pull"), t.Pull, 3);
      DrawRow(canvas, m, 32, QString(), t.PullG, 3);
    }
  } else {
    // The plain instrument stores one test and measures decelerations only.
    DrawRow(canvas, m, 17, QString(), t.TestDate, 1);
    DrawRow(canvas, m, 20, QStringLiteral("Peak Decel."), t.Peak, 1);
    DrawRow(canvas, m, 22, QStringLiteral("Mean Decel."), t.Mean, 1);
  }

  canvas.TextOut(m.W + 22 * m.H, m.LineY(40), QStringLiteral("NOTES"));
  for (int i = 0; i < kReportNoteLines; ++i) canvas.TextOut(m.W, m.LineY(42 + 2 * i), NoteLine(t.Notes, i));
  canvas.TextOut(m.Test1X(), m.LineY(70), QString::fromLatin1(kReportFooter));

  canvas.EndDoc();
}
