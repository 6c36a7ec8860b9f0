// dravik-records: the examiner's window on the results archive that dravikPC keeps. No options;
// DRAVIK_ARCHIVE says where the archive is, as for dravikPC.
#include <QApplication>
#include <clocale>

#include "records/RecordsWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // A kept read-out's texts are decoded again from its frames, with the user's decimal
  // separator (the C library's locale), as dravikPC shows them.
  std::setlocale(LC_ALL, "");
  // dravikPC's name: the archive (AppDataLocation) and the regime file and settings
  // (AppConfigLocation) are in dravikPC's folders. The window has its own title.
  QApplication::setApplicationName(QStringLiteral("dravikPC"));
  QApplication::setDesktopFileName(QStringLiteral("dravik-records"));

  RecordsWindow window(archive::LocationFromEnvironment(), std::make_unique<RegimeChoice>());
  window.show();
  return QApplication::exec();
}
