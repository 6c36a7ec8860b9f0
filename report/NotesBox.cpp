// The notes box's setup and its lines as laid out.
#include "report/NotesBox.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "platform/fonts.h"

QFont WindowFont() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(13);  // the character (em) height
  font.setBold(false);
  font.setItalic(false);
  return font;
}

void EnsureWindowFonts() {
  // Arial needs nothing: fontconfig maps it to the metric-compatible Liberation Sans.
  static bool done = false;
  if (done) return;
  done = true;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) return;
  for (const std::string& file : platform::TahomaFontFiles())
    QFontDatabase::addApplicationFont(QString::fromStdString(file));
}

void SetUpNotesBox(QPlainTextEdit& box) {
  box.resize(kNotesBoxSize);
  box.setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

namespace {

// The box's lines as it has laid them out.
QStringList LaidOutLines(QPlainTextEdit& box) {
  // A change of text that shows or hides the vertical scroll bar lays the viewport out again
  // through events the box posts to itself and its parts; deliver them, so the lines are those
  // the box will show and not those of its previous width.
  for (int width = -1, pass = 0; width != box.viewport()->width() && pass < 3; ++pass) {
    width = box.viewport()->width();
    QCoreApplication::sendPostedEvents(&box, 0);
    for (QObject* part : box.findChildren<QObject*>()) QCoreApplication::sendPostedEvents(part, 0);
  }
  QStringList lines;
  QTextDocument* document = box.document();
  QAbstractTextDocumentLayout* documentLayout = document->documentLayout();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    // Asking for the block's extent lays it out at the box's width if it has not been yet.
    documentLayout->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    const QString text = block.text();
    if (!layout || layout->lineCount() == 0) {
      lines << text;
      continue;
    }
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      lines << text.mid(line.textStart(), line.textLength());
    }
  }
  return lines;
}

// `text` in a notes box in `font` that is shown, but not on the screen.
QStringList LinesOnTheScreen(const QString& text, const QFont& font) {
  QPlainTextEdit box;
  box.setFont(font);
  SetUpNotesBox(box);
  box.setAttribute(Qt::WA_DontShowOnScreen);
  box.show();
  box.setPlainText(text);
  return LaidOutLines(box);
}

}  // namespace

QStringList NotesBoxLines(QPlainTextEdit& box) {
  if (box.isVisible()) return LaidOutLines(box);
  // A box that is not on the screen keeps room for a vertical scroll bar it may not need, and
  // would wrap narrower than it does once shown: lay its blocks out in a box that is shown.
  QStringList blocks;
  for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next()) blocks << block.text();
  return LinesOnTheScreen(blocks.join(QLatin1Char('\n')), box.font());
}

QStringList WrapNotesAsShown(const QString& text) {
  EnsureWindowFonts();
  return LinesOnTheScreen(text, WindowFont());  // in the window the box inherits the window's font
}
