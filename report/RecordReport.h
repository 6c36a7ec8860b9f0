// The report's texts for a kept read-out (ReadoutRecord), as the window's controls hold them
// for the same read-out: the instrument's texts from its state, the test columns' captions as
// the connected view makes them from the brake ticks, the examiner's entries, and the notes'
// lines as the window's notes box wraps them. Printing the record and printing from the window
// then put the same texts at the same places. Needs a QApplication (for the notes' layout).
#pragma once
#include <array>

#include "protocol/ReadoutRecord.h"
#include "report/ReportLayout.h"

// The captions of the three test columns: "Main brake" or "Test 1" (none at all for the plain
// model), "Secondary" or "Test 2", "Parking" or "Test 3", by the ticks.
std::array<QString, 3> TestCaptions(bool plusModel, const std::array<bool, 3>& ticked);

ReportTexts ReportTextsOf(const protocol::ReadoutRecord& record);

class QPrinter;

// Prints the report of `record` on `printer` (a printer the user chose, or a PDF file).
// Printing-layer errors are thrown as platform::Exception.
void PrintRecord(const protocol::ReadoutRecord& record, QPrinter& printer);

// Prints the report of `record` into the PDF file `path`, written whole or not at all (a
// temporary file beside it, renamed at the end). False with `error` in words for the user.
bool PrintRecordToPdf(const protocol::ReadoutRecord& record, const QString& path, std::string& error);
