// The records window: its layout, the archive it opens, the search, the list and the detail.
// The examiner's actions (reprint, export) are in RecordsWindowActions.cpp.
#include "records/RecordsWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

#include "protocol/ExportFields.h"
#include "records/RecordDetail.h"

namespace {

QString Sentence(const std::string& text) {
  QString s = QString::fromStdString(text);
  if (!s.isEmpty()) s[0] = s[0].toUpper();
  if (!s.endsWith(QLatin1Char('.'))) s += QLatin1Char('.');
  return s;
}

// A regime's rules, one line each, for its tooltip.
QString RegimeRules(const protocol::Regime& regime) {
  QStringList lines;
  for (const protocol::VerdictRule& rule : regime.rules)
    lines << QStringLiteral("%1 brake: %2 reading at least %3 %g (%4)")
                 .arg(QLatin1String(protocol::BrakeKey(rule.brake)), QLatin1String(protocol::ReadingKey(rule.reading)))
                 .arg(rule.minimumPercentG)
                 .arg(QString::fromStdString(rule.source));
  return lines.join(QLatin1Char('\n'));
}

QDateEdit* DateEdit(QWidget* parent) {
  auto* edit = new QDateEdit(QDate::currentDate(), parent);
  edit->setCalendarPopup(true);
  edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  edit->setEnabled(false);
  return edit;
}

}  // namespace

RecordsWindow::RecordsWindow(const archive::LocationResult& where, std::unique_ptr<RegimeChoice> regimes,
                             QWidget* parent)
    : QMainWindow(parent), where_(where), regimes_(std::move(regimes)) {
  setWindowTitle(QStringLiteral("dravikPC Records"));
  setObjectName(QStringLiteral("RecordsWindow"));
  ShowMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  Banner = new QLabel(central);
  Banner->setWordWrap(true);
  Banner->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Banner->setStyleSheet(QStringLiteral("QLabel { background: #fff4d6; border: 1px solid #d9b44a; padding: 6px; }"));
  Banner->hide();
  layout->addWidget(Banner);
  auto* search = new QHBoxLayout;
  BuildSearchRow(central, search);
  layout->addLayout(search);

  auto* split = new QSplitter(Qt::Horizontal, central);
  Table = new QTableView(split);
  Table->setModel(&table_.View());
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Table->setSortingEnabled(true);
  Table->sortByColumn(kColReadAt, Qt::DescendingOrder);
  Table->verticalHeader()->hide();
  Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 6);
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->horizontalHeader()->setResizeContentsPrecision(100);
  Table->setAlternatingRowColors(true);
  Table->setWordWrap(false);
  auto* side = new QWidget(split);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  Detail = new QTextBrowser(side);
  FramesCheck = new QCheckBox(QStringLiteral("Reply frames"), side);
  sideLayout->addWidget(Detail);
  sideLayout->addWidget(FramesCheck);
  split->setStretchFactor(0, 1);
  split->setSizes({800, 380});
  layout->addWidget(split, 1);
  setCentralWidget(central);
  Count = new QLabel(this);
  statusBar()->addWidget(Count, 1);
  BuildActions();

  connect(Table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { ShowCurrent(); });
  connect(Table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateActions(); });
  connect(FramesCheck, &QCheckBox::toggled, this, [this] { RenderDetail(); });
  resize(1200, 720);
  OpenArchive();
  RunSearch();
}

RecordsWindow::~RecordsWindow() {
  // The list's query lets go of the archive's connection before it closes.
  Table->setModel(nullptr);
  table_.Clear();
}

void RecordsWindow::BuildSearchRow(QWidget* parent, QHBoxLayout* row) {
  VehicleEdit = new QLineEdit(parent);
  VehicleEdit->setPlaceholderText(QStringLiteral("registration, or a part of it"));
  VehicleEdit->setClearButtonEnabled(true);
  FromCheck = new QCheckBox(QStringLiteral("From"), parent);
  FromEdit = DateEdit(parent);
  ToCheck = new QCheckBox(QStringLiteral("to"), parent);
  ToEdit = DateEdit(parent);
  InstrumentCombo = new QComboBox(parent);
  RegimeCombo = new QComboBox(parent);
  for (const protocol::Regime& r : regimes_->Regimes()) {
    RegimeCombo->addItem(QString::fromStdString(r.name));
    RegimeCombo->setItemData(RegimeCombo->count() - 1, RegimeRules(r), Qt::ToolTipRole);
  }
  RegimeCombo->setCurrentIndex(regimes_->Chosen());
  row->addWidget(new QLabel(QStringLiteral("Vehicle"), parent));
  row->addWidget(VehicleEdit, 1);
  for (QWidget* w : std::initializer_list<QWidget*>{FromCheck, FromEdit, ToCheck, ToEdit}) row->addWidget(w);
  row->addWidget(new QLabel(QStringLiteral("Instrument"), parent));
  row->addWidget(InstrumentCombo);
  row->addWidget(new QLabel(QStringLiteral("Regime"), parent));
  row->addWidget(RegimeCombo);
  table_.Columns().SetRegime(regimes_->ChosenRegime());

  connect(VehicleEdit, &QLineEdit::textChanged, this, [this] { RunSearch(); });
  for (QCheckBox* check : {FromCheck, ToCheck})
    connect(check, &QCheckBox::toggled, this, [this] {
      FromEdit->setEnabled(FromCheck->isChecked());
      ToEdit->setEnabled(ToCheck->isChecked());
      KeepRangeForward();
      RunSearch();
    });
  connect(FromEdit, &QDateEdit::dateChanged, this, [this] {
    KeepRangeForward();
    RunSearch();
  });
  connect(ToEdit, &QDateEdit::dateChanged, this, [this] { RunSearch(); });
  connect(InstrumentCombo, &QComboBox::currentIndexChanged, this, [this] { RunSearch(); });
  connect(RegimeCombo, &QComboBox::currentIndexChanged, this, [this](int index) { ChooseRegime(index); });
}

void RecordsWindow::BuildActions() {
  QToolBar* bar = addToolBar(QStringLiteral("Actions"));
  bar->setObjectName(QStringLiteral("Actions"));
  bar->setMovable(false);
  PrintAction = bar->addAction(QStringLiteral("Print…"), this, [this] { PrintClicked(); });
  PrintAction->setShortcut(QKeySequence::Print);
  PdfAction = bar->addAction(QStringLiteral("Save report as PDF…"), this, [this] { PdfClicked(); });
  bar->addSeparator();
  ExportSelectedAction =
      bar->addAction(QStringLiteral("Export selected…"), this, [this] { ExportClicked(ExportScope::Selected); });
  ExportListedAction =
      bar->addAction(QStringLiteral("Export search…"), this, [this] { ExportClicked(ExportScope::Listed); });
  ExportListedAction->setToolTip(QStringLiteral("Export every test the search matches"));
  bar->addSeparator();
  ReloadAction = bar->addAction(QStringLiteral("Reload"), this, [this] { Reload(); });
  ReloadAction->setShortcut(QKeySequence::Refresh);
  UpdateActions();
}

void RecordsWindow::OpenArchive() {
  table_.Clear();
  archive_.Close();
  if (!where_.error.empty()) {
    TellArchiveState(QStringLiteral("The archive's address cannot be used: %1. Set DRAVIK_ARCHIVE to a file or a "
                                    "postgresql:// address.").arg(QString::fromStdString(where_.error)));
  } else if (where_.location.kind == archive::Location::Off) {
    TellArchiveState(QStringLiteral("The archive is off (DRAVIK_ARCHIVE=off): there are no kept read-outs to show."));
  } else if (!archive_.Open(where_.location, archive::Archive::Mode::ReadOnly)) {
    const QString at = QString::fromStdString(where_.location.Describe());
    TellArchiveState(archive_.Missing()
                         ? QStringLiteral("No read-out has been kept in %1 yet. dravikPC keeps every complete "
                                          "read-out there, and they will be listed here.").arg(at)
                         : Sentence(archive_.Error()) + QStringLiteral(" Nothing has been changed in it."));
  } else {
    TellArchiveState(archive_.Notice().empty() ? QString() : Sentence(archive_.Notice()));
  }
  FillInstruments();
}

void RecordsWindow::TellArchiveState(const QString& problem) {
  archiveProblem_ = problem;
  searchProblem_.clear();
  UpdateBanner();
}

void RecordsWindow::UpdateBanner() {
  QStringList lines;
  for (const QString* line : {&archiveProblem_, &searchProblem_})
    if (!line->isEmpty()) lines << *line;
  if (!regimes_->FileError().isEmpty()) lines << regimes_->FileError();
  Banner->setText(lines.join(QLatin1Char('\n')));
  Banner->setVisible(!lines.isEmpty());
}

void RecordsWindow::FillInstruments() {
  const QString chosen = InstrumentCombo->currentData().toString();
  const QSignalBlocker quiet(InstrumentCombo);
  InstrumentCombo->clear();
  InstrumentCombo->addItem(QStringLiteral("every instrument"), QString());
  if (archive_.IsOpen())
    if (const auto serials = archive_.Serials())
      for (const std::string& serial : *serials)
        InstrumentCombo->addItem(QString::fromStdString(serial), QString::fromStdString(serial));
  InstrumentCombo->setCurrentIndex(std::max(0, InstrumentCombo->findData(chosen)));
}

void RecordsWindow::Reload() {
  OpenArchive();
  RunSearch();
}

void RecordsWindow::SetVehicleSearch(const QString& text) { VehicleEdit->setText(text); }

void RecordsWindow::SetDateRange(std::optional<QDate> from, std::optional<QDate> to) {
  const QSignalBlocker a(FromCheck), b(ToCheck), c(FromEdit), d(ToEdit);
  FromCheck->setChecked(from.has_value());
  ToCheck->setChecked(to.has_value());
  if (from) FromEdit->setDate(*from);
  KeepRangeForward();
  if (to) ToEdit->setDate(*to);
  FromEdit->setEnabled(from.has_value());
  ToEdit->setEnabled(to.has_value());
  RunSearch();
}

void RecordsWindow::KeepRangeForward() {
  // A range is never backwards: with a first day, the last is never before it.
  if (FromCheck->isChecked())
    ToEdit->setMinimumDate(FromEdit->date());
  else
    ToEdit->clearMinimumDate();
}

void RecordsWindow::SetInstrument(const QString& serial) {
  InstrumentCombo->setCurrentIndex(std::max(0, InstrumentCombo->findData(serial)));
}

void RecordsWindow::ChooseRegime(int index) {
  QString error;
  if (!regimes_->Choose(index, error) && !error.isEmpty()) statusBar()->showMessage(error, 10000);
  if (RegimeCombo->currentIndex() != regimes_->Chosen()) RegimeCombo->setCurrentIndex(regimes_->Chosen());
  table_.Columns().SetRegime(regimes_->ChosenRegime());
  RenderDetail();
}

void RecordsWindow::RunSearch() {
  filter_ = SearchFilter(VehicleEdit->text(), FromCheck->isChecked() ? std::optional(FromEdit->date()) : std::nullopt,
                         ToCheck->isChecked() ? std::optional(ToEdit->date()) : std::nullopt,
                         InstrumentCombo->currentData().toString());
  std::string error;
  searchProblem_.clear();
  if (archive_.IsOpen() && !table_.Load(archive_, filter_, error))
    searchProblem_ = Sentence(error) + QStringLiteral(" Nothing has been changed in it.");
  UpdateBanner();
  const int rows = table_.View().rowCount();
  QString count = rows == 1 ? QStringLiteral("1 test") : QStringLiteral("%1 tests").arg(rows);
  if (table_.Truncated())
    count = QStringLiteral("The newest %1 tests are listed: narrow the search to list older ones.").arg(rows);
  Count->setText(archive_.IsOpen() ? count : QString());
  // The columns take their widths from the first tests listed (the first hundred rows), once:
  // later searches keep them, and whatever the examiner made of them.
  if (!columnsSized_ && rows > 0) {
    Table->resizeColumnsToContents();
    columnsSized_ = true;
  }
  ShowCurrent();
  UpdateActions();
}

void RecordsWindow::ShowCurrent() {
  const QModelIndex at = Table->selectionModel()->currentIndex();
  if (!at.isValid()) {
    current_.reset();
  } else {
    const qint64 id = at.data(kReadoutIdRole).toLongLong();
    if (!current_ || current_->id != id) {
      current_ = archive_.Load(id);
      if (!current_) Detail->setPlainText(Sentence(archive_.Error()));
    }
  }
  RenderDetail();
  UpdateActions();
}

void RecordsWindow::RenderDetail() {
  if (!current_) {
    if (!Table->selectionModel()->currentIndex().isValid())
      Detail->setPlainText(table_.View().rowCount() > 0 ? QStringLiteral("Select a test to see its read-out.")
                                                         : QString());
    return;
  }
  const protocol::Regime& regime = regimes_->ChosenRegime();
  Detail->setHtml(DetailHtml(DetailGroups(*current_, &regime), FramesCheck->isChecked() ? FrameLines(*current_) : QStringList()));
}

void RecordsWindow::UpdateActions() {
  PrintAction->setEnabled(current_.has_value());
  PdfAction->setEnabled(current_.has_value());
  ExportSelectedAction->setEnabled(Table->selectionModel()->hasSelection());
  ExportListedAction->setEnabled(archive_.IsOpen() && table_.View().rowCount() > 0);
}
