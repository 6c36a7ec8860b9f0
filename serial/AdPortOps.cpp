// The port component's operations on the open port: output, input, the line and buffer
// queries, and triggers. Operations that need the device open it first when AutoOpen is set;
// the queries and DropTrigger never do. Every negative result becomes an exception.
#include "serial/AdExcept.h"
#include "serial/AdPort.h"

void TApdCustomComPort::SendText(const std::string& text) {
  if (portState_ == psShuttingDown) return;
  CloseIfDeviceGone();
  TApdBaseDispatcher* d = RequireDispatcher();
  if (text.empty()) return;
  Check(d->WriteBytes(text.data(), static_cast<uint32_t>(text.size())));
}

char TApdCustomComPort::ReadCharNotOpen() {
  if (portState_ == psShuttingDown) return '\0';
  TApdBaseDispatcher* d = RequireDispatcher();
  uint8_t byte = 0;
  Check(d->ReadByte(byte));
  return static_cast<char>(byte);
}

int TApdCustomComPort::GetBlock(char* buffer, int count) {
  if (portState_ == psShuttingDown || count <= 0) return 0;
  TApdBaseDispatcher* d = RequireDispatcher();
  return Check(d->GetBlock(reinterpret_cast<uint8_t*>(buffer), static_cast<uint32_t>(count)));
}

void TApdCustomComPort::PurgeInput() {
  if (portState_ == psShuttingDown) return;
  CloseIfDeviceGone();
  Check(RequireDispatcher()->DiscardInput());
}

void TApdCustomComPort::ServicePort() {
  if (portState_ == psShuttingDown) return;
  Check(RequireDispatcher()->DeviceYield());
}

int TApdCustomComPort::InputCount() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d ? d->BytesWaiting() : 0;
}

int TApdCustomComPort::OutputCount() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d ? d->OutputPending() : 0;
}

bool TApdCustomComPort::CtsState() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d && d->LineCTS() == 1;
}

bool TApdCustomComPort::DsrState() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d && d->LineDSR() == 1;
}

bool TApdCustomComPort::DcdState() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d && d->LineDCD() == 1;
}

bool TApdCustomComPort::RingState() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d && d->RingSeen();
}

uint16_t TApdCustomComPort::LastLineError() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d ? static_cast<uint16_t>(Check(d->TakeLineError())) : 0;
}

bool TApdCustomComPort::BreakSeen() {
  TApdBaseDispatcher* d = OpenDispatcher();
  return d && d->TakeLineBreak();
}

int TApdCustomComPort::NewTimerTrigger() {
  if (portState_ == psShuttingDown) return 0;
  return Check(RequireDispatcher()->NewTimerTrigger());
}

int TApdCustomComPort::NewStatusTrigger(uint16_t kind) {
  if (portState_ == psShuttingDown) return 0;
  return Check(RequireDispatcher()->NewStatusTrigger(kind));
}

void TApdCustomComPort::ArmTimerTrigger(uint16_t handle, int ticks, bool activate) {
  if (portState_ == psShuttingDown) return;
  Check(RequireDispatcher()->ArmTimerTrigger(handle, ticks, activate));
}

void TApdCustomComPort::ArmStatusTrigger(uint16_t handle, uint16_t value, bool activate) {
  if (portState_ == psShuttingDown) return;
  Check(RequireDispatcher()->ArmStatusTrigger(handle, value, activate));
}

void TApdCustomComPort::DropTrigger(uint16_t handle) {
  if (TApdBaseDispatcher* d = OpenDispatcher()) Check(d->DeleteTrigger(handle));
}
