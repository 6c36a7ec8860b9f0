// What the records window writes: the report of a kept read-out reprinted (the same texts at the
// same places as the read-out printed when it was read, and a real PDF read back with pdftotext),
// and exports of the selected tests and of the whole search as CSV (read back as a spreadsheet
// would) and JSON (Qt's parser), each written whole or not at all.
#include <QDir>
#include <QItemSelectionModel>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <algorithm>

#include "protocol/ReadoutCsv.h"
#include "report/RecordReport.h"
#include "tests/records/RecordsTestSupport.h"
#include "tests/support/CsvReader.h"
#include "tests/support/PdfText.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RecordingCanvas.h"

namespace {

const int64_t kAt = kSimReadoutAtUtcMs;

QStringList Report(const protocol::ReadoutRecord& record) {
  RecordingCanvas canvas(QSize(4800, 6600));
  DrawReport(canvas, ReportTextsOf(record));
  return canvas.calls;
}

QByteArray Contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::size_t CsvColumn(const std::string& name) {
  const auto& names = protocol::ReadoutCsvColumns();
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

}  // namespace

TEST_F(RecordsTest, ReprintsTheReportOfTheKeptReadOut) {
  protocol::ReadoutRecord plain = PlainReadout(580, kAt - 1000);
  plain.vehicle = "P123 ABC";
  plain.examiner = "R. Patel";
  plain.notes = "10%g start trigger\nline two\n" + std::string(300, 'x');
  const auto kept = Keep({PlusReadout({650, 370, 240}, "AB12 CDE", kAt), plain});
  auto w = Window();
  for (int row : {0, 3}) {
    w->Table->selectRow(row);
    ASSERT_TRUE(w->CurrentRecord());
    const protocol::ReadoutRecord& original = kept[row == 0 ? 0 : 1];
    EXPECT_EQ(Report(*w->CurrentRecord()), Report(original)) << row;
  }

  const QString pdf = dir.filePath("reprint.pdf");
  ASSERT_TRUE(w->SaveCurrentPdf(pdf)) << messages.join('\n').toStdString();
  const PdfText text = ReadPdfText(pdf);
  ASSERT_TRUE(text.ok);
  EXPECT_EQ(text.title, "dravik printout");
  for (const char* word : {"dravik", "Report", "0042", "P123", "ABC", "Patel", "NOTES", "two"})
    EXPECT_TRUE(text.Find(word)) << word;
  EXPECT_FALSE(text.Find("Secondary"));  // the short report of the plain model

  // A folder that cannot take the file: told, and nothing left behind.
  EXPECT_FALSE(w->SaveCurrentPdf(dir.filePath("missing/reprint.pdf")));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("The report was not saved")) << messages[0].toStdString();
  EXPECT_FALSE(QDir(dir.filePath("missing")).exists());
}

TEST_F(RecordsTest, ExportsTheSelectedTestsAndTheWholeSearchAsCsvAndJson) {
  protocol::ReadoutRecord formula = PlusReadout({579, 300, 200}, "=HYPERLINK(\"http://x\")", kAt - 1000);
  formula.examiner = "@Smith";
  const auto kept = Keep({PlusReadout({650, 370, 240}, "AB12 CDE", kAt), formula,
                          PlusReadout({600, 300, 200}, "WX63 KLM", kAt - 2000)});
  auto w = Window();
  w->SetVehicleSearch("=hyperlink");  // formula-looking registrations are searched as text
  ASSERT_EQ(w->TableModels().View().rowCount(), 3);
  w->SetVehicleSearch("");

  // The whole search (every test it matches), oldest read-out first, with the regime's verdicts.
  const QString csv = dir.filePath("all.csv");
  ASSERT_TRUE(w->ExportTo(csv, ExportFormat::Csv, RecordsWindow::ExportScope::Listed));
  const CsvTable all = ReadCsv(Contents(csv).toStdString());
  ASSERT_TRUE(all.ok);
  ASSERT_EQ(all.rows.size(), 10u);
  EXPECT_EQ(all.rows[0], protocol::ReadoutCsvColumns());
  EXPECT_EQ(all.rows[1][CsvColumn("vehicle")], "WX63 KLM");
  EXPECT_EQ(all.rows[4][CsvColumn("vehicle")], "'=HYPERLINK(\"http://x\")");  // guarded against running
  EXPECT_EQ(all.rows[4][CsvColumn("examiner")], "'@Smith");
  EXPECT_EQ(all.rows[4][CsvColumn("verdict")], "fail");  // 57.9 %g under the first regime
  EXPECT_EQ(all.rows[4][CsvColumn("regime")], protocol::BuiltInRegimes()[0].name);
  EXPECT_EQ(all.rows[9][CsvColumn("notes")], "10%g start trigger\ndry road");

  // Selected rows: those tests only in CSV, their read-outs whole in JSON.
  w->Table->selectRow(0);  // AB12 CDE, test 1
  w->Table->selectionModel()->select(w->TableModels().View().index(5, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);  // =HYPERLINK, test 3
  const QString some = dir.filePath("some.csv");
  ASSERT_TRUE(w->ExportTo(some, ExportFormat::Csv, RecordsWindow::ExportScope::Selected));
  const CsvTable selected = ReadCsv(Contents(some).toStdString());
  ASSERT_EQ(selected.rows.size(), 3u);
  EXPECT_EQ(selected.rows[1][CsvColumn("test")], "3");
  EXPECT_EQ(selected.rows[2][CsvColumn("vehicle")], "AB12 CDE");
  EXPECT_EQ(selected.rows[2][CsvColumn("test")], "1");

  const QString json = dir.filePath("some.json");
  ASSERT_TRUE(w->ExportTo(json, ExportFormat::Json, RecordsWindow::ExportScope::Selected));
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(Contents(json), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  ASSERT_TRUE(doc.isArray());
  const QJsonArray readouts = doc.array();
  ASSERT_EQ(readouts.size(), 2);
  EXPECT_EQ(readouts[0]["format"].toString(), "dravik-readout/1");
  EXPECT_EQ(readouts[0]["vehicle"].toString(), "=HYPERLINK(\"http://x\")");  // JSON carries text as text
  EXPECT_EQ(readouts[1]["id"].toInteger(), *kept[0].id);
  EXPECT_EQ(readouts[1]["tests"].toArray().size(), 3);
  EXPECT_EQ(readouts[1]["tests"][0]["verdict"].toString(), "pass");

  // An export that cannot be written is told and leaves the old file as it was.
  EXPECT_FALSE(w->ExportTo(dir.filePath("missing/x.csv"), ExportFormat::Csv, RecordsWindow::ExportScope::Listed));
  EXPECT_FALSE(w->ExportTo(dir.path(), ExportFormat::Json, RecordsWindow::ExportScope::Listed));  // a folder
  EXPECT_EQ(messages.size(), 2);
  for (const QString& m : messages) EXPECT_TRUE(m.startsWith("Nothing was exported")) << m.toStdString();
  QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
  files.removeIf([](const QString& name) { return name.startsWith("archive.sqlite"); });
  EXPECT_EQ(files, QStringList({"all.csv", "some.csv", "some.json"}));
}
