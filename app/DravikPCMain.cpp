// The main window's construction and destruction, the fonts it needs, and "finish".
#include "app/DravikPCMain.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>

#include "platform/fonts.h"

namespace {

// Tahoma is the window's font. Where the system has no Tahoma, the files the platform names (a
// metric-compatible one on Linux) are loaded into the application; elsewhere nothing is loaded.
// Arial needs nothing: fontconfig maps it to the metric-compatible Liberation Sans.
void EnsureWindowFonts() {
  static bool done = false;
  if (done) return;
  done = true;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) return;
  for (const std::string& file : platform::TahomaFontFiles())
    QFontDatabase::addApplicationFont(QString::fromStdString(file));
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
  DestroyComponents();  // the light controller, then the session with its tick and port
  delete PrintDialog1;  // holds a pointer to printer_
  PrintDialog1 = nullptr;
}

void TDravikPCMainForm::FinishBUTClick(QObject*) { close(); }
