// TArchiveLink: the window's results archive. Every complete read-out is kept as it completes;
// what the examiner typed is attached when the report is printed, when "CLEAR" or "APPLY" is
// pressed and when the window closes (the latest text wins); and "CLEAR" and "APPLY" go out
// only once the results they erase are committed (the session's BeforeErase). Keeping runs on
// the archive's writer thread; only the commit before an erase waits for it.
//
// The window makes one when DRAVIK_ARCHIVE is not "off"; without one the window behaves as it
// always did. A failure to keep is told once (until keeping works again) in a message box; an
// erase that is refused is told by the window as the session's Erase failure.
//
// Everything here runs on the user-interface thread, except the writer's wake-up call, which
// only posts to it.
#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "archive/ArchiveWriter.h"
#include "session/SessionListener.h"

class TDravikPCMainForm;

// The box of a read-out that could not be kept (the reason follows on a second line).
inline const std::string kArchiveKeepFailed = "Results could not be saved in the archive.";

class TArchiveLink : public QObject, private SessionListener {
public:
  // The link for `form`'s session, or null when DRAVIK_ARCHIVE is "off".
  static std::unique_ptr<TArchiveLink> ForWindow(TDravikPCMainForm& form);
  TArchiveLink(TDravikPCMainForm& form, archive::LocationResult where);
  // Lets go of the session, then commits what is still queued.
  ~TArchiveLink() override;

  // Attaches the examiner's texts and brake ticks to the read-out shown (keeping it first if it
  // is not kept yet).
  void AttachTexts();

  // How long "CLEAR" and "APPLY" wait for their commit.
  static constexpr int kEraseWaitMs = 15000;

private:
  void ReadoutCompleted() override;
  bool CommitBeforeErase(std::string& reason);
  protocol::ReadoutRecord ShownRecord() const;
  archive::Annotation TouchedTexts() const;
  void TellOutcomes();

  TDravikPCMainForm& form_;
  // What the window starts with: a text still equal to it is not the examiner's and never
  // replaces a text kept earlier (a read-out kept before, read again in a later run).
  QString initialVehicle_, initialExaminer_, initialNotes_;
  bool ticksClicked_ = false;  // the examiner has clicked a brake-kind box in this run
  std::unique_ptr<archive::ArchiveWriter> writer_;
};
