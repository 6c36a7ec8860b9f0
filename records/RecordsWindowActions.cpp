// The records window's actions: reprinting the current read-out's report (print dialog or PDF)
// and exporting tests (CSV or JSON), with their file dialogs.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>
#include <algorithm>

#include "records/RecordsWindow.h"
#include "report/RecordReport.h"

namespace {

// A wait cursor while a long action runs on the user-interface thread.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// A file name for the current read-out's report: its vehicle, else its archive id.
QString ReportName(const protocol::ReadoutRecord& record) {
  QString name = QString::fromStdString(record.vehicle).simplified();
  name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("-"));
  if (name.isEmpty() || name == QLatin1String("-")) name = QString::number(record.id.value_or(0));
  return QStringLiteral("report-%1.pdf").arg(name);
}

}  // namespace

bool RecordsWindow::PrintCurrent(QPrinter& printer) {
  if (!current_) return false;
  try {
    PrintRecord(*current_, printer);
  } catch (const std::exception& e) {
    ShowMessage(QStringLiteral("The report could not be printed: %1").arg(QString::fromUtf8(e.what())));
    return false;
  }
  return true;
}

bool RecordsWindow::SaveCurrentPdf(const QString& path) {
  if (!current_) return false;
  std::string error;
  if (PrintRecordToPdf(*current_, path, error)) return true;
  ShowMessage(QStringLiteral("The report was not saved: %1.").arg(QString::fromStdString(error)));
  return false;
}

std::optional<std::vector<protocol::ReadoutRecord>> RecordsWindow::RecordsToExport(ExportScope scope,
                                                                                    TestKeys& selectedTests) {
  // Read-outs are exported oldest first, as the command line's export writes them.
  std::vector<int64_t> ids;
  if (scope == ExportScope::Listed) {
    archive::ReadoutFilter everything = filter_;
    everything.limit.reset();  // everything the search matches, not only the newest listed
    const std::optional<std::vector<int64_t>> found = archive_.Find(everything);
    if (!found) return std::nullopt;
    ids = *found;
  } else {
    std::vector<std::pair<qint64, int64_t>> readouts;  // (read at, id)
    for (const QModelIndex& row : Table->selectionModel()->selectedRows()) {
      const int64_t id = row.data(kReadoutIdRole).toLongLong();
      selectedTests.insert({id, row.data(kTestNumberRole).toInt()});
      readouts.emplace_back(row.data(kReadAtRole).toLongLong(), id);
    }
    std::sort(readouts.begin(), readouts.end());
    readouts.erase(std::unique(readouts.begin(), readouts.end()), readouts.end());
    for (const auto& readout : readouts) ids.push_back(readout.second);
  }
  std::vector<protocol::ReadoutRecord> records;
  records.reserve(ids.size());
  for (int64_t id : ids) {
    std::optional<protocol::ReadoutRecord> record = archive_.Load(id);
    if (!record) return std::nullopt;
    records.push_back(std::move(*record));
  }
  return records;
}

bool RecordsWindow::ExportTo(const QString& path, ExportFormat format, ExportScope scope) {
  if (!archive_.IsOpen()) return false;
  const BusyCursor busy;
  TestKeys selected;
  const std::optional<std::vector<protocol::ReadoutRecord>> records = RecordsToExport(scope, selected);
  if (!records) {
    ShowMessage(QStringLiteral("Nothing was exported: %1.").arg(QString::fromStdString(archive_.Error())));
    return false;
  }
  const protocol::Regime& regime = regimes_->ChosenRegime();
  const QByteArray bytes = ExportBytes(*records, format, &regime, scope == ExportScope::Selected ? &selected : nullptr);
  QString error;
  if (WriteWhole(path, bytes, error)) {
    statusBar()->showMessage(QStringLiteral("Exported to %1").arg(path), 10000);
    return true;
  }
  ShowMessage(QStringLiteral("Nothing was exported: %1.").arg(error));
  return false;
}

void RecordsWindow::PrintClicked() {
  if (!current_) return;
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(printer_.get(), this);
  if (dialog.exec() == QDialog::Accepted) PrintCurrent(*printer_);
}

void RecordsWindow::PdfClicked() {
  if (!current_) return;
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the report as PDF"),
                                                    ReportName(*current_), QStringLiteral("PDF (*.pdf)"));
  if (!path.isEmpty()) SaveCurrentPdf(path);
}

void RecordsWindow::ExportClicked(ExportScope scope) {
  const QString csv = QStringLiteral("CSV (*.csv)"), json = QStringLiteral("JSON, dravik-readout/1 (*.json)");
  QString filter = csv;
  QString path = QFileDialog::getSaveFileName(
      this, scope == ExportScope::Selected ? QStringLiteral("Export the selected tests")
                                           : QStringLiteral("Export every test the search matches"),
      QStringLiteral("dravik-records.csv"), csv + QStringLiteral(";;") + json, &filter);
  if (path.isEmpty()) return;
  // The suffix decides; a name without one takes the chosen filter's.
  const QString suffix = QFileInfo(path).suffix().toLower();
  ExportFormat format = filter == json ? ExportFormat::Json : ExportFormat::Csv;
  if (suffix == QLatin1String("json")) format = ExportFormat::Json;
  if (suffix == QLatin1String("csv")) format = ExportFormat::Csv;
  if (suffix.isEmpty()) path += format == ExportFormat::Json ? QStringLiteral(".json") : QStringLiteral(".csv");
  ExportTo(path, format, scope);
}
