// A CSV writer after RFC 4180 (fields separated by commas, records ended by CR LF, a field
// quoted when it holds a comma, a quote or a line break, quotes doubled inside), with the guard
// against spreadsheet formulas: a text cell that begins with '=', '+', '-', '@', a tab or a
// carriage return gets a leading apostrophe, so a spreadsheet shows it instead of running it.
// Number cells are never guarded (a negative number is a number). Bytes pass through as given:
// callers hand in UTF-8.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

struct CsvCell {
  std::string text;
  bool number = false;  // a number written by the program, not text from a person or a device
};
inline CsvCell TextCell(std::string text) { return {std::move(text), false}; }
inline CsvCell NumberCell(std::string text) { return {std::move(text), true}; }

// A text a spreadsheet would take for a formula.
bool LooksLikeFormula(std::string_view text);

// One field as written: guarded when it is a text cell that looks like a formula, then quoted
// when it needs to be.
std::string CsvField(const CsvCell& cell);

// One record: the fields joined by commas, ended by CR LF.
std::string CsvRecord(const std::vector<CsvCell>& cells);

}  // namespace protocol
