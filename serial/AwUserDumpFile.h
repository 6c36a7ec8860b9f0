// Writing a trace or log dump to its file. Internal to the dispatcher.
#pragma once
#include <string>

// Appends Text to FileName when Append is set and the file exists, else creates the file
// anew; text mode, so lines get the platform's line ending. Returns 0 or the negated I/O
// error code of the failing step (3 path not found, 4 too many open files, 5 access denied,
// 101 disk full, ...). Opened tells whether the file could be opened at all.
int WriteDumpFile(const std::string& FileName, bool Append, const std::string& Text, bool& Opened);
