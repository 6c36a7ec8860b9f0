// Reads back a PDF with poppler's `pdftotext -bbox`: the document title and every word with its
// box in points (1/72 inch) from the page's top-left corner.
#pragma once
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <vector>

struct PdfWord {
  QString text;
  double xMin, yMin, xMax, yMax;
};

struct PdfText {
  bool ok = false;
  QString title;
  std::vector<PdfWord> words;

  // The first word equal to `text`, or null.
  const PdfWord* Find(const QString& text) const {
    for (const PdfWord& w : words)
      if (w.text == text) return &w;
    return nullptr;
  }
  QStringList Texts() const {
    QStringList all;
    for (const PdfWord& w : words) all << w.text;
    return all;
  }
};

inline PdfText ReadPdfText(const QString& path) {
  PdfText result;
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return result;
  const QString html = QString::fromUtf8(process.readAllStandardOutput());
  const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
  result.title = title.match(html).captured(1);
  const QRegularExpression word(QStringLiteral(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
  for (auto it = word.globalMatch(html); it.hasNext();) {
    const auto m = it.next();
    QString text = m.captured(5);
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&")).replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">")).replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    result.words.push_back({text, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                            m.captured(4).toDouble()});
  }
  result.ok = true;
  return result;
}
