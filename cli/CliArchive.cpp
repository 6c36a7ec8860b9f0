// Opening the archive for a command.
#include "cli/CliArchive.h"

#include "archive/ArchiveLocation.h"

CliArchive OpenCliArchive(archive::Archive::Mode mode) {
  CliArchive result;
  const archive::LocationResult where = archive::LocationFromEnvironment();
  if (!where.error.empty()) {
    result.error = QStringLiteral("DRAVIK_ARCHIVE: %1").arg(QString::fromStdString(where.error));
    return result;
  }
  if (where.location.kind == archive::Location::Off) {
    result.off = true;
    return result;
  }
  auto opened = std::make_unique<archive::Archive>();
  if (!opened->Open(where.location, mode)) {
    result.error = QStringLiteral("the archive %1 could not be opened: %2")
                       .arg(QString::fromStdString(where.location.Describe()), QString::fromStdString(opened->Error()));
    return result;
  }
  if (mode == archive::Archive::Mode::ReadWrite && opened->ReadOnly()) {
    result.error = QStringLiteral("the archive %1 cannot be written: %2")
                       .arg(QString::fromStdString(where.location.Describe()), QString::fromStdString(opened->Notice()));
    return result;
  }
  result.archive = std::move(opened);
  return result;
}

QString ArchiveProblem(const archive::Archive& archive, const char* what) {
  return QStringLiteral("the archive %1 could not be %2: %3")
      .arg(QString::fromStdString(archive.Where().Describe()), QLatin1String(what),
           QString::fromStdString(archive.Error()));
}
