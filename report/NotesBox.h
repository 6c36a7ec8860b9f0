// The examiner's notes box of the main window (Memo1) and how it lays out its text: the window's
// font, the box's size, word wrap and scroll bars, and the lines as the box shows them, wrapped
// lines counted separately. The window reads its own box's lines for the report; a kept
// read-out's notes are laid out in a box set up the same way, so both print the same lines.
// Needs a QApplication (the layout is the widget's own).
#pragma once
#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

// The window's default font, which the notes box takes from it: Tahoma, 13 pixels, regular.
QFont WindowFont();

// Where the system has no Tahoma, loads the files the platform names (a metric-compatible one
// on Linux) into the application, once; elsewhere nothing. User-interface thread only.
void EnsureWindowFonts();

// The notes box's size in the window, pixels at 96 dpi.
inline constexpr QSize kNotesBoxSize{209, 169};

// Size, word wrap (at word boundaries, else anywhere) at the box's width, and the horizontal
// scroll bar that the box always shows.
void SetUpNotesBox(QPlainTextEdit& box);

// The lines of a box set up by SetUpNotesBox as it lays them out on the screen, wrapped lines
// counted separately; for a box that is not on the screen, as it would lay them out there.
QStringList NotesBoxLines(QPlainTextEdit& box);

// `text` as the window's notes box lays it out on the screen, in the window's font.
QStringList WrapNotesAsShown(const QString& text);
