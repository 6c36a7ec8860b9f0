// The main window's construction and destruction, the fonts it needs, and "finish".
#include "app/DravikPCMain.h"

#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>

#include "report/NotesBox.h"

TDravikPCMainForm::TDravikPCMainForm(QWidget* parent) : QWidget(parent) {
  EnsureWindowFonts();  // Tahoma where the system lacks it
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
