// The archive as the command line opens it: by the DRAVIK_ARCHIVE rule of every program, for
// writing (read, clear, annotate) or only for reading (the records commands that look). A
// failure is a message for standard error and exit status 5.
#pragma once
#include <QString>
#include <memory>

#include "archive/Archive.h"

struct CliArchive {
  std::unique_ptr<archive::Archive> archive;  // null when DRAVIK_ARCHIVE is "off" or it failed
  bool off = false;                           // DRAVIK_ARCHIVE is "off"
  QString error;                              // why it could not be opened
};

CliArchive OpenCliArchive(archive::Archive::Mode mode);

// "the archive <where> could not be <what>: <reason>".
QString ArchiveProblem(const archive::Archive& archive, const char* what);
