// The drawing surface the printed report is laid out on: a print job with a title, a pen, a font
// (name and positive height = character cell height in device pixels) and text drawn with its
// top-left corner at a point. Coordinates are device pixels from the top-left corner of the
// printable area. ReportQtCanvas prints through Qt; tests record the calls.
#pragma once
#include <QColor>
#include <QSize>
#include <QString>

class ReportCanvas {
public:
  virtual ~ReportCanvas() = default;

  virtual void SetTitle(const QString& title) = 0;        // the job's name in the print queue
  virtual void SetPen(int width, const QColor& colour) = 0;
  virtual void SetFontName(const QString& name) = 0;
  virtual QSize PageSize() = 0;                           // printable area, device pixels
  virtual void BeginDoc() = 0;
  virtual void SetFontHeight(int height) = 0;             // character cell, device pixels
  virtual void TextOut(int x, int y, const QString& text) = 0;
  virtual void EndDoc() = 0;
};
