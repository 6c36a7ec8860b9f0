// RFC 4180 fields and records with the formula guard.
#include "protocol/Csv.h"

namespace protocol {

bool LooksLikeFormula(std::string_view text) {
  if (text.empty()) return false;
  switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r': return true;
    default: return false;
  }
}

std::string CsvField(const CsvCell& cell) {
  const std::string text = !cell.number && LooksLikeFormula(cell.text) ? "'" + cell.text : cell.text;
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CsvRecord(const std::vector<CsvCell>& cells) {
  std::string record;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) record += ',';
    record += CsvField(cells[i]);
  }
  record += "\r\n";
  return record;
}

}  // namespace protocol
