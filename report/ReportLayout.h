// The one-page test report: where each text goes and in what size, for the full report of the
// plus model and the short one of the plain model. Pure: it takes the texts as the window shows
// them and draws them on a ReportCanvas; it measures nothing and computes only page positions.
#pragma once
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>

#include "report/ReportCanvas.h"

// The texts the report prints, read from the window's controls exactly as shown.
struct ReportTexts {
  bool PlusModel = false;    // full report (three columns, all rows) instead of the short one
  bool MeasurePull = false;  // "Measure Pull" is checked: the two pull rows are printed
  QString Serial;            // the serial number box
  QString Calibration;       // the calibration text
  QString Vehicle;
  QString Examiner;
  std::array<QString, 3> TestCaption;  // the captions of the three test columns
  std::array<QString, 3> TestDate;     // the date labels of the three tests
  std::array<QString, 3> Peak, Mean, Speed, Stop, Distance, Pull, PullG;
  QStringList Notes;  // the notes box's lines as it lays them out (wrapped lines count)
};

// Page geometry in device pixels, all derived from the printable page size.
struct ReportMetrics {
  int W = 0;  // page width / 12: left margin
  int T = 0;  // page height / 12: top margin added to every y but the heading's
  int H = 0;  // page height / 90: the line unit
  int B = 0;  // 1.5 * H rounded to nearest, a half to even: the body font height

  int Test1X() const { return W + 15 * H; }
  int Test2X() const { return W + 30 * H; }
  int Test3X() const { return W + 45 * H; }
  int LineY(int units) const { return T + units * H; }
};

ReportMetrics ComputeReportMetrics(QSize page);

// Printed note lines and the longest text taken from one line.
inline constexpr int kReportNoteLines = 13;
inline constexpr int kReportNoteLineMax = 4096;

// The web address in the footer.
extern const char* const kReportFooter;

// Draws the full report when texts.PlusModel is set, else the short one: title, pen, font, page
// size, begin, the texts, end, in that order. Errors of the canvas propagate and end the report.
void DrawReport(ReportCanvas& canvas, const ReportTexts& texts);
