// The tour's last step, when asked for (--records): dravik-records' window opens the archive the
// tour's read-outs went into, lists them, and reprints the one the examiner typed into.
#include <QAbstractItemModel>
#include <QFile>
#include <QLabel>
#include <QTableView>

#include "archive/ArchiveLocation.h"
#include "records/RecordsWindow.h"
#include "tests/support/Waits.h"
#include "tools/dravik-tour/Tour.h"
#include "tools/dravik-tour/TourTexts.h"

namespace tour {

namespace {

// Selects the listed row of the first read-out since `sinceUtcMs` that the examiner typed
// `vehicle` into: the one the tour printed (the read-out after "CLEAR" carries the same texts,
// attached when the window closed; earlier tours may have kept theirs in the same archive).
// False when none is listed.
bool SelectFirstReadoutOf(RecordsWindow& window, const QString& vehicle, int64_t sinceUtcMs) {
  const QAbstractItemModel* rows = window.Table->model();
  int first = -1;
  int64_t firstAt = 0;
  for (int row = 0; row < rows->rowCount(); ++row) {
    window.Table->selectRow(row);
    const auto& record = window.CurrentRecord();
    if (!record || record->readAtUtcMs < sinceUtcMs || QString::fromStdString(record->vehicle) != vehicle) continue;
    if (first < 0 || record->readAtUtcMs < firstAt) {
      first = row;
      firstAt = record->readAtUtcMs;
    }
  }
  if (first >= 0) window.Table->selectRow(first);
  return first >= 0;
}

}  // namespace

StepResult Tour::ReprintInRecords(int timeoutMs) {
  const QString path = Absolute(options_.records);
  if (!MakeParentFolder(path)) return StepResult::Failed("cannot create the folder of " + path.toStdString());
  QFile::remove(path);
  QStringList messages;
  RecordsWindow window(archive::LocationFromEnvironment(), std::make_unique<RegimeChoice>());
  window.ShowMessage = [&messages](const QString& text) { messages << text; };
  window.show();
  const QAbstractItemModel* rows = window.Table->model();
  if (!WaitFor([&] { return rows->rowCount() > 0 || !window.Banner->isHidden(); }, timeoutMs) || rows->rowCount() == 0)
    return StepResult::Failed("dravik-records lists no test" +
                              (window.Banner->isHidden() ? std::string() : ": " + window.Banner->text().toStdString()));
  const int listed = rows->rowCount();
  if (!SelectFirstReadoutOf(window, kVehicle, startedUtcMs_))
    return StepResult::Failed("none of the " + std::to_string(listed) + " tests listed is of " + kVehicle.toStdString() + " and kept by this tour");
  const std::string serial = window.CurrentRecord()->state.serial;
  if (!window.SaveCurrentPdf(path))
    return StepResult::Failed("the reprint failed: " + messages.join(QStringLiteral("; ")).toStdString());
  QFile pdf(path);
  if (!pdf.open(QIODevice::ReadOnly) || !pdf.read(5).startsWith("%PDF-"))
    return StepResult::Failed(path.toStdString() + " is not a PDF file");
  return StepResult::Ok(std::to_string(listed) + " tests listed; " + kVehicle.toStdString() + " (serial " + serial +
                        ") reprinted to " + path.toStdString() + " (" + std::to_string((pdf.size() + 1023) / 1024) +
                        " KB)");
}

}  // namespace tour
