// Read-outs as CSV rows.
#include "protocol/ReadoutCsv.h"

#include "protocol/ExportFields.h"

namespace protocol {

namespace {

// The number and the unit of `q`, or two empty cells when the test does not show it.
void AddQuantity(std::vector<CsvCell>& row, const ExportedTest& test, Quantity q) {
  const ShownQuantity* shown = test.Find(q);
  row.push_back(NumberCell(shown ? shown->number : std::string()));
  row.push_back(TextCell(shown ? shown->unit : std::string()));
}

}  // namespace

const std::vector<std::string>& ReadoutCsvColumns() {
  static const std::vector<std::string> columns{
      "read_at",  "serial",        "model",     "vehicle",        "examiner",   "test",
      "brake",    "peak",          "peak_unit", "mean",           "mean_unit",  "verdict",
      "regime",   "speed",         "speed_unit", "stop_time",     "stop_time_unit", "distance",
      "distance_unit", "pull_angle", "pull_angle_unit", "pull_sideways", "pull_sideways_unit", "notes"};
  return columns;
}

std::string ReadoutCsvHeader() {
  std::vector<CsvCell> header;
  for (const std::string& name : ReadoutCsvColumns()) header.push_back(TextCell(name));
  return CsvRecord(header);
}

std::vector<std::vector<CsvCell>> ReadoutCsvRows(const ReadoutRecord& record, const Regime* regime) {
  std::vector<std::vector<CsvCell>> rows;
  for (const ExportedTest& test : ExportedTests(record, regime)) {
    std::vector<CsvCell> row;
    row.push_back(TextCell(IsoUtc(record.readAtUtcMs)));
    row.push_back(TextCell(Latin1ToUtf8(record.state.serial)));
    row.push_back(TextCell(ModelName(record.state)));
    row.push_back(TextCell(record.vehicle));
    row.push_back(TextCell(record.examiner));
    row.push_back(NumberCell(std::to_string(test.number)));
    row.push_back(TextCell(test.brake ? BrakeKey(*test.brake) : ""));
    AddQuantity(row, test, Quantity::Peak);
    AddQuantity(row, test, Quantity::Mean);
    row.push_back(TextCell(test.assessment ? VerdictText(test.assessment->verdict) : ""));
    row.push_back(TextCell(regime ? regime->name : std::string()));
    for (Quantity q : {Quantity::Speed, Quantity::StopTime, Quantity::Distance, Quantity::PullAngle,
                       Quantity::PullSideways})
      AddQuantity(row, test, q);
    row.push_back(TextCell(record.notes));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string ReadoutsCsv(const std::vector<ReadoutRecord>& records, const Regime* regime) {
  std::string csv = ReadoutCsvHeader();
  for (const ReadoutRecord& record : records)
    for (const std::vector<CsvCell>& row : ReadoutCsvRows(record, regime)) csv += CsvRecord(row);
  return csv;
}

}  // namespace protocol
