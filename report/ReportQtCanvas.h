// The report canvas on a Qt printer (a real printer or a PDF file): QPainter on QPrinter, with
// font heights taken as character cells and text placed by its top-left corner.
#pragma once
#include <QFont>
#include <QPainter>
#include <QPen>

#include "report/ReportCanvas.h"

class QPrinter;

class ReportQtCanvas : public ReportCanvas {
public:
  explicit ReportQtCanvas(QPrinter& printer);
  // A job that was begun but not ended (an error left the report) is aborted.
  ~ReportQtCanvas() override;

  void SetTitle(const QString& title) override;
  void SetPen(int width, const QColor& colour) override;
  void SetFontName(const QString& name) override;
  QSize PageSize() override;
  // Throws platform::Exception when the printer is not usable or refuses the job.
  void BeginDoc() override;
  void SetFontHeight(int height) override;
  void TextOut(int x, int y, const QString& text) override;
  // Throws platform::Exception when the job cannot be finished.
  void EndDoc() override;

  // The pixel size (em height) of `family` whose ascent + descent is closest to `cell` device
  // pixels on `device`; never below 1.
  static int PixelSizeForCell(const QString& family, int cell, QPaintDevice* device);

private:
  void ApplyFont();

  QPrinter& printer_;
  QPainter painter_;
  QString title_;
  QPen pen_{QColor(0, 0, 0), 1};
  QString fontName_ = QStringLiteral("Arial");
  int fontHeight_ = 0;   // requested cell height; 0 until set
  qreal ascent_ = 0;     // of the current font on the printer, device pixels
};
