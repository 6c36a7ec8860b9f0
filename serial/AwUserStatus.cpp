// Modem and line status: the modem status shadow (line states and change bits), the
// accumulated line error word, and the queries that read and clear them.
#include "serial/AwUser.h"

uint32_t TApdBaseDispatcher::SampleModemStatus(uint32_t KeepMask) {
  std::lock_guard state(StateLock);
  const uint32_t lines = DeviceModemStatus() & (msCTS | msDSR | msRing | msDCD);
  ModemStatus = lines | (ModemStatus & 0x0F);
  if (RingEventSeen.exchange(false)) ModemStatus |= msTrailingRing;
  const uint32_t result = ModemStatus;
  ModemStatus &= KeepMask;
  return result;
}

int TApdBaseDispatcher::LineCTS() { return (SampleModemStatus(0xFE) & msCTS) ? 1 : 0; }
int TApdBaseDispatcher::LineDSR() { return (SampleModemStatus(0xFD) & msDSR) ? 1 : 0; }
int TApdBaseDispatcher::LineDCD() { return (SampleModemStatus(0xF7) & msDCD) ? 1 : 0; }
bool TApdBaseDispatcher::RingSeen() { return (SampleModemStatus(0xFB) & msTrailingRing) != 0; }

int TApdBaseDispatcher::TakeLineError() {
  std::lock_guard state(StateLock);
  // The four errors are taken together; a break stays for TakeLineBreak.
  const uint32_t errors = LineErrorWord.fetch_and(~(leOverflow | leOverrun | leParity | leFraming));
  if (errors & leOverflow) return 1;
  if (errors & leOverrun) return 2;
  if (errors & leParity) return 3;
  if (errors & leFraming) return 4;
  if (errors & leBreak) return 9;
  return 0;
}

bool TApdBaseDispatcher::TakeLineBreak() {
  std::lock_guard state(StateLock);
  return (LineErrorWord.fetch_and(~leBreak) & leBreak) != 0;
}

// Runs on the dispatch thread.
void TApdBaseDispatcher::RefreshModemStatus() {
  std::lock_guard state(StateLock);
  const uint32_t before = ModemStatus;
  SampleModemStatus(0xFF);
  ModemStatus |= ((before ^ ModemStatus) >> 4) & 0x0F;
}

// Runs on the dispatch thread, and on the user-interface thread while a port opens. The error
// bits only: the device's queue counts are not needed here.
void TApdBaseDispatcher::RefreshLineErrors() { LineErrorWord |= DeviceErrors(nullptr) & leAll; }
