// The user's actions on the instrument: the interlocks of the configuration check boxes, the
// comparison that enables "APPLY", and the commands queued by "APPLY", "set time" and "CLEAR".
// Commands go through the controller's one command slot and are sent at the next processed
// tick; the '9' and 'T' replies restart the read-out, so the result is read back at once.
#include "app/Decoders.h"
#include "app/DravikPCMain.h"
#include "app/LocalTime.h"
#include "app/MessageBoxes.h"
#include "app/Protocol.h"

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
  const decoders::CollectedFlags collected = decoders::CollectConfigFlags(FlagsWord, ReadBoxes(*this));
  NewFlagsWord = collected.newFlagsWord;
  ConfigBUT->setEnabled(collected.applyEnabled);
}

protocol::ConfigBlock TDravikPCMainForm::ConfigBlockAsRead() const {
  protocol::ConfigBlock block;  // the defaults stand for setup bytes not read yet
  if (SetupByte1) block.setupByte1 = *SetupByte1;
  if (SetupByte2) block.setupByte2 = *SetupByte2;
  if (SetupByte3) block.setupByte3 = *SetupByte3;
  if (SetupByte4) block.setupByte4 = *SetupByte4;
  block.featureWord = FeatureWord;
  block.flagsWord = FlagsWord;
  return block;
}

void TDravikPCMainForm::ConfigBUTClick(QObject*) {
  if (!TMessageBoxGuard::Instance().Confirm("Results will be erased, proceed?")) return;
  // NewFlagsWord as the last processed tick computed it.
  QueueCommand(protocol::ConfigWriteCommand(ConfigBlockAsRead(), NewFlagsWord));
}

void TDravikPCMainForm::SetTimBUTClick(QObject*) { QueueCommand(protocol::ClockSetCommand(LocalNow())); }

void TDravikPCMainForm::ClearBUTClick(QObject*) {
  // Writing the configuration unchanged makes the instrument erase its results.
  QueueCommand(protocol::ConfigWriteCommand(ConfigBlockAsRead(), FlagsWord));
}
