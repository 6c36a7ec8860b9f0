// The user's actions on the instrument: the interlocks of the configuration check boxes, the
// comparison that enables "APPLY", and the commands queued by "APPLY", "set time" and "CLEAR".
// Commands go through the session's one command slot and are sent at its next processed tick;
// the '9' and 'T' replies restart the read-out, so the result is read back at once.
#include "app/DravikPCMain.h"
#include "app/MessageBoxes.h"
#include "protocol/Decoders.h"

namespace {

decoders::FlagBoxes ReadBoxes(const TDravikPCMainForm& f) {
  decoders::FlagBoxes b;
  b.flags12 = f.Flags12CB->isChecked();
  b.flags13 = f.Flags13CB->isChecked();
  b.flags14 = f.Flags14CB->isChecked();
  b.flags15 = f.Flags15CB->isChecked();
  b.flags17 = f.Flags17CB->isChecked();
  b.flags14Enabled = f.Flags14CB->isEnabled();
  b.flags17Enabled = f.Flags17CB->isEnabled();
  return b;
}

// Only the boxes an interlock moves: "Metric Units" and "Measure Pull".
void WriteInterlockedBoxes(TDravikPCMainForm& f, const decoders::FlagBoxes& b) {
  f.Flags14CB->setEnabled(b.flags14Enabled);
  if (f.Flags14CB->isChecked() != b.flags14) f.Flags14CB->setChecked(b.flags14);
  f.Flags17CB->setEnabled(b.flags17Enabled);
  if (f.Flags17CB->isChecked() != b.flags17) f.Flags17CB->setChecked(b.flags17);
}

}  // namespace

void TDravikPCMainForm::Flags12CBClick(QObject*) {
  // The 3 %g start trigger and pull measurement exclude each other.
  WriteInterlockedBoxes(*this, decoders::Flags12CBClick(ReadBoxes(*this)));
}

void TDravikPCMainForm::Flags15CBClick(QObject*) {
  // m/s² readings always come with metric units.
  WriteInterlockedBoxes(*this, decoders::Flags15CBClick(ReadBoxes(*this)));
}

void TDravikPCMainForm::CollectConfigFlags() {
  const uint16_t flagsWord = Session->State().config.flagsWord;
  const decoders::CollectedFlags collected = decoders::CollectConfigFlags(flagsWord, ReadBoxes(*this));
  NewFlagsWord = collected.newFlagsWord;
  ConfigBUT->setEnabled(collected.applyEnabled);
}

void TDravikPCMainForm::ConfigBUTClick(QObject*) {
  if (!TMessageBoxGuard::Instance().Confirm("Results will be erased, proceed?")) return;
  // NewFlagsWord as the last processed tick computed it.
  Session->ApplyFlags(NewFlagsWord);
}

void TDravikPCMainForm::SetTimBUTClick(QObject*) { Session->SetTime(); }

void TDravikPCMainForm::ClearBUTClick(QObject*) { Session->ClearResults(); }
