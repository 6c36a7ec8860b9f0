// A kept read-out's report texts.
#include "report/RecordReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryFile>
#include <filesystem>

#include "report/NotesBox.h"
#include "report/ReportQtCanvas.h"

namespace {

// Texts from the instrument are single bytes and reach the window's controls as Latin-1.
QString Latin1(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }
// What the examiner typed is kept as UTF-8.
QString Utf8(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

}  // namespace

std::array<QString, 3> TestCaptions(bool plusModel, const std::array<bool, 3>& ticked) {
  std::array<QString, 3> captions{
      ticked[0] ? QStringLiteral("Main brake") : QStringLiteral("Test 1"),
      ticked[1] ? QStringLiteral("Secondary") : QStringLiteral("Test 2"),
      ticked[2] ? QStringLiteral("Parking") : QStringLiteral("Test 3"),
  };
  if (!plusModel) captions[0].clear();
  return captions;
}

ReportTexts ReportTextsOf(const protocol::ReadoutRecord& record) {
  const protocol::InstrumentState& s = record.state;
  ReportTexts t;
  t.PlusModel = s.plusModel();
  t.MeasurePull = s.configView.boxes.flags17;  // "Measure Pull" as the configuration read set it
  t.Serial = Latin1(s.serial);
  t.Calibration = Latin1(s.calibration.calibText);
  t.Vehicle = Utf8(record.vehicle);
  t.Examiner = Utf8(record.examiner);
  t.TestCaption = TestCaptions(t.PlusModel, record.brakeTicked);
  for (std::size_t i = 0; i < 3; ++i) {
    const protocol::TestState& test = s.tests[i];
    t.TestDate[i] = Latin1(test.date);
    t.Peak[i] = Latin1(test.peak);
    t.Mean[i] = Latin1(test.mean);
    t.Speed[i] = Latin1(test.speed);
    t.Stop[i] = Latin1(test.stop);
    t.Distance[i] = Latin1(test.distance);
    t.Pull[i] = Latin1(test.angle);
    t.PullG[i] = Latin1(test.sideways);
  }
  t.Notes = WrapNotesAsShown(Utf8(record.notes));
  return t;
}

void PrintRecord(const protocol::ReadoutRecord& record, QPrinter& printer) {
  ReportQtCanvas canvas(printer);
  DrawReport(canvas, ReportTextsOf(record));
}

bool PrintRecordToPdf(const protocol::ReadoutRecord& record, const QString& path, std::string& error) {
  // QPrinter writes its file in place; the report goes to a temporary name in the same folder
  // and takes the real name only once it is complete, so a failure leaves no partial file.
  const QFileInfo target(path);
  QString temporaryName;
  {
    // Only a free name is taken from it: on Windows a QTemporaryFile keeps its file open until
    // it is destroyed, and the printer could then neither write it nor the rename move it.
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".dravik-report-XXXXXX.pdf")));
    if (!temporary.open()) {
      error = "cannot write in " + target.absolutePath().toStdString() + ": " + temporary.errorString().toStdString();
      return false;
    }
    temporary.setAutoRemove(false);
    temporaryName = temporary.fileName();
  }
  try {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(temporaryName);
    PrintRecord(record, printer);
  } catch (const std::exception& e) {
    QFile::remove(temporaryName);
    error = std::string("the report could not be printed: ") + e.what();
    return false;
  }
  // Replaces an older file of that name in one step.
  std::error_code renamed;
  std::filesystem::rename(temporaryName.toStdString(), path.toStdString(), renamed);
  if (renamed) {
    QFile::remove(temporaryName);
    error = "cannot write " + path.toStdString() + ": " + renamed.message();
    return false;
  }
  return true;
}
