// RecordsWindow: dravik-records, the examiner's window on the results archive. It opens the
// archive dravikPC writes (read-only: it never writes to it), lists one row per kept test
// (RecordsTable) with a search by registration, local days and instrument, sorts by any column,
// shows the selected test's whole read-out (RecordDetail), reprints its report (report/) on a
// printer chosen in Qt's print dialog or into a PDF file, and exports the selected tests or
// everything the search matches as CSV or JSON (RecordsExport), with the verdicts of the regime
// chosen (RegimeChoice). Everything runs on the user-interface thread.
//
// The archive's state is told in a line above the list, never in a box: none kept yet (an
// empty list that says so), an archive that cannot be read, one of a newer schema, a regime
// file that cannot be used. Failures of the examiner's own actions (a PDF or an export that
// cannot be written) are told through ShowMessage, a box by default.
#pragma once
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

#include "archive/Archive.h"
#include "records/RecordsExport.h"
#include "records/RecordsTable.h"
#include "records/RegimeChoice.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPrinter;
class QTableView;
class QTextBrowser;

class RecordsWindow : public QMainWindow {
  Q_OBJECT
public:
  enum class ExportScope { Selected, Listed };

  // `where`: the archive (archive::LocationFromEnvironment() in the program).
  RecordsWindow(const archive::LocationResult& where, std::unique_ptr<RegimeChoice> regimes,
                QWidget* parent = nullptr);
  ~RecordsWindow() override;

  // Opens the archive again (it may have been made, or grown, since) and repeats the search.
  void Reload();

  // The search fields, as the examiner sets them (each runs the search).
  void SetVehicleSearch(const QString& text);
  void SetDateRange(std::optional<QDate> from, std::optional<QDate> to);
  void SetInstrument(const QString& serial);  // empty: every instrument
  void ChooseRegime(int index);

  // The read-out of the current row, as loaded from the archive; none without one.
  const std::optional<protocol::ReadoutRecord>& CurrentRecord() const { return current_; }
  // Reprints the current read-out's report on `printer` / into the PDF file `path` (whole or not
  // at all). False, after telling why through ShowMessage, when it could not be.
  bool PrintCurrent(QPrinter& printer);
  bool SaveCurrentPdf(const QString& path);
  // Exports the selected tests, or every test the search matches (not only those listed), to
  // `path`. False, after telling why through ShowMessage, when nothing was written.
  bool ExportTo(const QString& path, ExportFormat format, ExportScope scope);

  // The seam for messages to the examiner (a warning box by default; tests record them).
  std::function<void(const QString&)> ShowMessage;

  // Parts the tests look at.
  QLabel* Banner = nullptr;      // the archive's state and the regime file's problem; hidden when all is well
  QLineEdit* VehicleEdit = nullptr;
  QCheckBox* FromCheck = nullptr;
  QDateEdit* FromEdit = nullptr;
  QCheckBox* ToCheck = nullptr;
  QDateEdit* ToEdit = nullptr;
  QComboBox* InstrumentCombo = nullptr;
  QComboBox* RegimeCombo = nullptr;
  QTableView* Table = nullptr;
  QTextBrowser* Detail = nullptr;
  QCheckBox* FramesCheck = nullptr;  // shows the reply frames in the detail
  QLabel* Count = nullptr;          // how many tests are listed
  QAction* PrintAction = nullptr;
  QAction* PdfAction = nullptr;
  QAction* ExportSelectedAction = nullptr;
  QAction* ExportListedAction = nullptr;
  QAction* ReloadAction = nullptr;

  RecordsTable& TableModels() { return table_; }

private:
  void BuildSearchRow(QWidget* parent, class QHBoxLayout* row);
  void BuildActions();
  void OpenArchive();
  void FillInstruments();
  void KeepRangeForward();
  void RunSearch();
  void ShowCurrent();
  void RenderDetail();
  void UpdateActions();
  void TellArchiveState(const QString& problem);  // and forgets the last search's problem
  void UpdateBanner();
  std::optional<std::vector<protocol::ReadoutRecord>> RecordsToExport(ExportScope scope, TestKeys& selectedTests);

  // The examiner's actions, with their dialogs.
  void PrintClicked();
  void PdfClicked();
  void ExportClicked(ExportScope scope);

  archive::LocationResult where_;
  std::unique_ptr<RegimeChoice> regimes_;
  archive::Archive archive_;
  RecordsTable table_;
  archive::ReadoutFilter filter_;                   // the search last run
  std::optional<protocol::ReadoutRecord> current_;  // the current row's read-out
  std::unique_ptr<QPrinter> printer_;              // keeps the examiner's printer choices
  QString archiveProblem_;                          // the archive's state, for the banner
  bool columnsSized_ = false;                       // the columns have taken their widths
  QString searchProblem_;                           // why the last search failed, for the banner
};
