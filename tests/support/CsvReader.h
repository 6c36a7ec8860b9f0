// Reads CSV back the way a spreadsheet or Python's csv module does (RFC 4180: quoted fields
// with doubled quotes, line breaks inside quotes, records ended by CR LF), so tests check what
// a reader gets rather than the bytes written. `ok` is false on a stray quote or a bare LF
// ending a record.
#pragma once
#include <string>
#include <vector>

struct CsvTable {
  bool ok = true;
  std::vector<std::vector<std::string>> rows;
};

inline CsvTable ReadCsv(const std::string& text) {
  CsvTable table;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;     // inside a quoted field
  bool wasQuoted = false;  // the field so far was quoted: only a separator may follow
  const auto endField = [&] {
    row.push_back(field);
    field.clear();
    wasQuoted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += text[++i];
      } else {
        quoted = false;
      }
    } else if (c == '"' && field.empty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == ',') {
      endField();
    } else if (crlf) {
      endField();
      table.rows.push_back(row);
      row.clear();
      ++i;
    } else if (c == '"' || c == '\n' || wasQuoted) {
      table.ok = false;
    } else {
      field += c;
    }
  }
  if (quoted || !field.empty() || !row.empty()) table.ok = false;  // the last record lacks its CR LF
  return table;
}
