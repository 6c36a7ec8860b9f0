// A report canvas that records every call as one line of text, for checking the report's layout
// without a printer.
#pragma once
#include <QStringList>
#include <functional>

#include "report/ReportCanvas.h"

class RecordingCanvas : public ReportCanvas {
public:
  explicit RecordingCanvas(QSize page) : page_(page) {}

  QStringList calls;
  std::function<void()> onBeginDoc;  // may throw, as a failing printer would

  void SetTitle(const QString& title) override { calls << "title " + title; }
  void SetPen(int width, const QColor& colour) override {
    calls << QStringLiteral("pen %1 %2").arg(width).arg(colour.name());
  }
  void SetFontName(const QString& name) override { calls << "font " + name; }
  QSize PageSize() override {
    calls << "page";
    return page_;
  }
  void BeginDoc() override {
    if (onBeginDoc) onBeginDoc();
    calls << "begin";
  }
  void SetFontHeight(int height) override { calls << QStringLiteral("height %1").arg(height); }
  void TextOut(int x, int y, const QString& text) override {
    calls << QStringLiteral("text %1 %2 [%3]").arg(x).arg(y).arg(text);
  }
  void EndDoc() override { calls << "end"; }

  // Only the text calls.
  QStringList Texts() const { return calls.filter(QStringLiteral("text ")); }

private:
  QSize page_;
};
