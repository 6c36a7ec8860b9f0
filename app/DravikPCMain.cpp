// The main window's construction and destruction, the fonts it needs, and "finish".
#include "app/DravikPCMain.h"

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>

namespace {

// Tahoma is the window's font. Where the system has no Tahoma (Linux), the metric-compatible one
// from Debian's fonts-wine package is loaded into the application; elsewhere nothing is loaded.
// Arial needs nothing: fontconfig maps it to the metric-compatible Liberation Sans.
void EnsureWindowFonts() {
  static bool done = false;
  if (done) return;
  done = true;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) return;
  const QDir wineFonts(QStringLiteral("/usr/share/wine/fonts"));
  for (const char* file : {"tahoma.ttf", "tahomabd.ttf"}) {
    const QString path = wineFonts.filePath(QString::fromLatin1(file));
    if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
  }
}

}  // namespace

TDravikPCMainForm::TDravikPCMainForm(QWidget* parent) : QWidget(parent) {
  EnsureWindowFonts();
  CreateControls();
  // The non-visual components are created here, after the controls, before loading ends.
  CreateComponents();
  TApdComponentLink::LoadedAll(this);
  ConnectHandlers();
  FormCreate(this);
  // Centred on the screen, by its client area (the frame is not known before it is shown).
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TDravikPCMainForm::~TDravikPCMainForm() {
  DestroyComponents();  // the tick first: it is the last component created
  TApdComponentLink::FreeComponents(this);
  delete PrintDialog1;  // holds a pointer to printer_
  PrintDialog1 = nullptr;
}

void TDravikPCMainForm::FinishBUTClick(QObject*) { close(); }
