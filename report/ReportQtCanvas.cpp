// Printing the report through QPrinter.
#include "report/ReportQtCanvas.h"

#include <QFontMetricsF>
#include <QPrinter>
#include <cmath>

#include "platform/sysutils.h"

ReportQtCanvas::ReportQtCanvas(QPrinter& printer) : printer_(printer) {}

ReportQtCanvas::~ReportQtCanvas() {
  if (painter_.isActive()) {
    printer_.abort();
    painter_.end();
  }
}

void ReportQtCanvas::SetTitle(const QString& title) { title_ = title; }

void ReportQtCanvas::SetPen(int width, const QColor& colour) {
  pen_ = QPen(colour, width);
  if (painter_.isActive()) painter_.setPen(pen_);
}

void ReportQtCanvas::SetFontName(const QString& name) {
  fontName_ = name;
  if (painter_.isActive()) ApplyFont();
}

QSize ReportQtCanvas::PageSize() { return QSize(printer_.width(), printer_.height()); }

void ReportQtCanvas::BeginDoc() {
  if (!printer_.isValid()) throw platform::Exception("Printing failed: no printer is available.");
  printer_.setDocName(title_);
  if (!painter_.begin(&printer_))
    throw platform::Exception("Printing failed: the printer could not start the document.");
  painter_.setPen(pen_);
  ApplyFont();
}

void ReportQtCanvas::SetFontHeight(int height) {
  fontHeight_ = height;
  if (painter_.isActive()) ApplyFont();
}

void ReportQtCanvas::TextOut(int x, int y, const QString& text) {
  if (!painter_.isActive()) throw platform::Exception("Printing failed: no document has been started.");
  // drawText places the baseline; the ascent moves it down so the cell's top is at y.
  painter_.drawText(QPointF(x, y + ascent_), text);
}

void ReportQtCanvas::EndDoc() {
  if (!painter_.isActive()) return;
  if (!painter_.end()) throw platform::Exception("Printing failed: the document could not be finished.");
}

int ReportQtCanvas::PixelSizeForCell(const QString& family, int cell, QPaintDevice* device) {
  if (cell <= 1) return 1;
  auto cellOf = [&](int pixelSize) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    const QFontMetricsF metrics(font, device);
    return metrics.ascent() + metrics.descent();
  };
  // Scale from the cell of a first guess, then settle on the nearest neighbour.
  const qreal first = cellOf(cell);
  int best = first > 0 ? std::max(1, int(std::lround(cell * cell / first))) : cell;
  qreal bestError = std::abs(cellOf(best) - cell);
  for (int candidate : {best - 1, best + 1}) {
    if (candidate < 1) continue;
    const qreal error = std::abs(cellOf(candidate) - cell);
    if (error < bestError) {
      best = candidate;
      bestError = error;
    }
  }
  return best;
}

void ReportQtCanvas::ApplyFont() {
  QFont font(fontName_);
  if (fontHeight_ > 0) font.setPixelSize(PixelSizeForCell(fontName_, fontHeight_, &printer_));
  painter_.setFont(font);
  ascent_ = QFontMetricsF(font, &printer_).ascent();
}
