// The window's archive: keeping read-outs, attaching the examiner's texts, the commit before an
// erase, and telling failures.
#include "app/ArchiveLink.h"

#include <QDateTime>
#include <cstdio>

#include "app/DravikPCMain.h"
#include "app/MessageBoxes.h"

namespace {

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// The guard's latch of keeping failures.
const std::string kArchiveOperation = "archive";

}  // namespace

std::unique_ptr<TArchiveLink> TArchiveLink::ForWindow(TDravikPCMainForm& form) {
  archive::LocationResult where = archive::LocationFromEnvironment();
  if (where.error.empty() && where.location.kind == archive::Location::Off) return nullptr;
  return std::make_unique<TArchiveLink>(form, std::move(where));
}

TArchiveLink::TArchiveLink(TDravikPCMainForm& form, archive::LocationResult where)
    : form_(form),
      initialVehicle_(form.VehicleEB->text()),
      initialExaminer_(form.ExaminerEB->text()),
      initialNotes_(form.Memo1->toPlainText()) {
  for (QCheckBox* tick : {form.MainCB, form.SecondaryCB, form.ParkingCB})
    connect(tick, &QCheckBox::clicked, this, [this] { ticksClicked_ = true; });
  // The writer's thread only posts a wake-up; the outcomes cross over under its lock.
  writer_ = std::make_unique<archive::ArchiveWriter>(std::move(where), [this] {
    QMetaObject::invokeMethod(this, [this] { TellOutcomes(); }, Qt::QueuedConnection);
  });
  form_.Session->AddListener(this);
  form_.Session->BeforeErase = [this](std::string& reason) { return CommitBeforeErase(reason); };
}

TArchiveLink::~TArchiveLink() {
  form_.Session->BeforeErase = nullptr;
  form_.Session->RemoveListener(this);
  // Commits what is queued (the texts at closing); the window is gone, so a failure now can
  // only be written to the standard error.
  writer_->Finish();
  for (const archive::ArchiveWriter::Outcome& outcome : writer_->TakeOutcomes())
    if (!outcome.ok) std::fprintf(stderr, "dravikPC: %s\n%s\n", kArchiveKeepFailed.c_str(), outcome.reason.c_str());
}

void TArchiveLink::ReadoutCompleted() { writer_->Keep(ShownRecord()); }

void TArchiveLink::AttachTexts() {
  if (form_.Session->State().complete)
    writer_->Keep(ShownRecord(), TouchedTexts());
  else
    writer_->AnnotateLast(TouchedTexts());  // a read-out is running again: the one shown before
}

bool TArchiveLink::CommitBeforeErase(std::string& reason) {
  if (!form_.Session->State().complete) {
    reason = "The read-out is not complete: press \"refresh\" and wait for the results.";
    return false;
  }
  return writer_->KeepNow(ShownRecord(), TouchedTexts(), reason, kEraseWaitMs);
}

protocol::ReadoutRecord TArchiveLink::ShownRecord() const {
  const protocol::InstrumentState& state = form_.Session->State();
  protocol::ReadoutRecord r;
  r.readAtUtcMs = state.completedAtUtcMs.value_or(QDateTime::currentMSecsSinceEpoch());
  r.port = form_.Session->ApdComPort1->ComNumber();
  r.state = state;
  r.brakeTicked = {form_.MainCB->isChecked(), form_.SecondaryCB->isChecked(), form_.ParkingCB->isChecked()};
  r.vehicle = Utf8(form_.VehicleEB->text());
  r.examiner = Utf8(form_.ExaminerEB->text());
  r.notes = Utf8(form_.Memo1->toPlainText());
  return r;
}

archive::Annotation TArchiveLink::TouchedTexts() const {
  archive::Annotation a;
  if (form_.VehicleEB->text() != initialVehicle_) a.vehicle = Utf8(form_.VehicleEB->text());
  if (form_.ExaminerEB->text() != initialExaminer_) a.examiner = Utf8(form_.ExaminerEB->text());
  // The notes' first line is the configuration's ("10%g start trigger"): notes that hold that
  // line alone are still the window's own.
  const QString notes = form_.Memo1->toPlainText();
  const QString triggerLine = QString::fromStdString(form_.Session->State().configView.notesFirstLine);
  if (notes != initialNotes_ && notes != triggerLine) a.notes = Utf8(notes);
  if (ticksClicked_)
    a.brakeTicked = {form_.MainCB->isChecked(), form_.SecondaryCB->isChecked(), form_.ParkingCB->isChecked()};
  return a;
}

void TArchiveLink::TellOutcomes() {
  TMessageBoxGuard& boxes = TMessageBoxGuard::Instance();
  for (const archive::ArchiveWriter::Outcome& outcome : writer_->TakeOutcomes()) {
    if (outcome.ok)
      boxes.Succeeded(kArchiveOperation);
    else
      boxes.InformOnce(kArchiveOperation, kArchiveKeepFailed + "\n" + outcome.reason);
  }
}

void TDravikPCMainForm::KeepExaminerTexts() {
  if (archiveLink_) archiveLink_->AttachTexts();
}
