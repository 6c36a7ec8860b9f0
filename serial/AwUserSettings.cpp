// Line and flow settings through the DCB shadow (refresh from the device, change, apply),
// the DTR and RTS lines, draining output before a line change, RS-485 mode (RTS toggled by the
// device) and thread priorities. All settings run under StateLock.
#include <chrono>
#include <thread>

#include "serial/AwUser.h"

namespace {

// Old-style baud codes (0xFF10 + index) and what they stand for; 0 leaves the code as it is.
constexpr uint32_t baudCodeTable[] = {110,   300, 600, 1200,  2400, 4800, 9600, 14400,
                                      19200, 0,   0,   38400, 0,    0,    0,    56000,
                                      0,     0,   0,   128000, 0,   0,    0,    256000};

uint32_t BaudFromCode(uint32_t baud) {
  if (baud == 0xFEFF) return 115200;
  if (baud >= 0xFF10 && baud <= 0xFF27) {
    const uint32_t mapped = baudCodeTable[baud - 0xFF10];
    if (mapped) return mapped;
  }
  return baud;
}

}  // namespace

int TApdBaseDispatcher::ApplySettings() {
  std::lock_guard state(StateLock);
  if (!DTRFlow) DCBShadow.fDtrControl = DTRState ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  if (!RTSFlow) DCBShadow.fRtsControl = RTSState ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  const int result = DeviceSetState(DCBShadow);
  LastBaud = DCBShadow.BaudRate;
  DriveDTR(DTRState);
  if (!RS485Mode) DriveRTS(RTSState);
  return result;
}

int TApdBaseDispatcher::ApplyLineSettings(int Baud, int Parity, int StopBits, int DataBits) {
  uint32_t newBaud, newParity, newDataBits, newStopCode;
  {
    std::lock_guard state(StateLock);
    DeviceGetState(DCBShadow);
    newBaud = Baud == 0 ? DCBShadow.BaudRate : static_cast<uint32_t>(Baud);
    newParity = Parity == 5 ? DCBShadow.Parity : static_cast<uint32_t>(Parity);
    newDataBits = DataBits == 9 ? DCBShadow.ByteSize : static_cast<uint32_t>(DataBits);
    if (StopBits == 3) {
      newStopCode = DCBShadow.StopBits;
    } else {
      const int stop = StopBits == 0 ? 1 : (StopBits > 2 ? 2 : StopBits);
      newStopCode = newDataBits == 5 ? ONE5STOPBITS : (stop == 1 ? ONESTOPBIT : TWOSTOPBITS);
    }
    if (newBaud == DCBShadow.BaudRate && newParity == DCBShadow.Parity &&
        newDataBits == DCBShadow.ByteSize && newStopCode == DCBShadow.StopBits)
      return 0;
  }
  // Waits and sleeps: outside the lock.
  WaitOutputDrained();
  std::lock_guard state(StateLock);
  DCBShadow.fBinary = 1;
  DCBShadow.fParity = 0;
  DCBShadow.fDsrSensitivity = 0;
  DCBShadow.fTXContinueOnXoff = 1;
  DCBShadow.fNull = 0;
  DCBShadow.BaudRate = newBaud;
  DCBShadow.Parity = static_cast<BYTE>(newParity);
  DCBShadow.ByteSize = static_cast<BYTE>(newDataBits);
  DCBShadow.StopBits = static_cast<BYTE>(newStopCode);
  return ApplySettings();
}

void TApdBaseDispatcher::ReadLineSettings(int& Baud, int& Parity, int& StopBits, int& DataBits) {
  std::lock_guard state(StateLock);
  DeviceGetState(DCBShadow);
  Baud = static_cast<int>(BaudFromCode(DCBShadow.BaudRate));
  Parity = DCBShadow.Parity;
  DataBits = DCBShadow.ByteSize;
  StopBits = DCBShadow.StopBits == ONESTOPBIT ? 1 : 2;
}

void TApdBaseDispatcher::WaitOutputDrained() {
  for (int polls = 0; polls < 5000 && OutputPending() > 0; ++polls)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  uint64_t hundredNs;
  {
    std::lock_guard state(StateLock);
    DeviceGetState(DCBShadow);
    const uint32_t bits = DCBShadow.ByteSize + 1 + (DCBShadow.Parity != NOPARITY ? 1 : 0) +
                          (DCBShadow.StopBits != ONESTOPBIT ? 2 : 1);
    const uint32_t baud = BaudFromCode(LastBaud);
    if (baud == 0) return;
    // The time 18 characters take on the line, in 100 ns units.
    hundredNs = static_cast<uint64_t>(10000000 / baud) * bits * 18;
    if (hundredNs < 10000) hundredNs *= 2;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds((hundredNs + 9999) / 10000));
}

int TApdBaseDispatcher::DriveDTR(bool On) {
  std::lock_guard state(StateLock);
  if (DTRFlow) return 1;
  const int result = DeviceEscape(On ? SETDTR : CLRDTR);
  DTRState = On;
  return result < 0 ? ecBadArgument : result;
}

int TApdBaseDispatcher::DriveRTS(bool On) {
  std::lock_guard state(StateLock);
  if (RTSFlow) return 1;
  const int result = DeviceEscape(On ? SETRTS : CLRRTS);
  RTSState = On;
  return result < 0 ? ecBadArgument : result;
}

int TApdBaseDispatcher::ConfigureHardwareFlow(int BufferFull, int BufferResume, int Options) {
  std::lock_guard state(StateLock);
  if (BufferFull < BufferResume || BufferFull > static_cast<int>(InQueueSize))
    return ecBadArgument;
  DeviceGetState(DCBShadow);
  DCBShadow.fOutxCtsFlow = 0;
  DCBShadow.fOutxDsrFlow = 0;
  DTRFlow = (Options & hfUseDTR) != 0;
  DCBShadow.fDtrControl = DTRFlow ? DTR_CONTROL_HANDSHAKE
                                  : (DTRState ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
  RTSFlow = (Options & hfUseRTS) != 0;
  DCBShadow.fRtsControl = RTSFlow ? RTS_CONTROL_HANDSHAKE
                                  : (RTSState ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE);
  if (RS485Mode) {  // the device drives RTS while it sends
    DCBShadow.fRtsControl = RTS_CONTROL_TOGGLE;
    RTSFlow = true;
  }
  DCBShadow.XoffLim = static_cast<WORD>(InQueueSize - BufferFull);
  DCBShadow.XonLim = static_cast<WORD>(BufferResume);
  if (Options & hfRequireDSR) DCBShadow.fOutxDsrFlow = 1;
  if (Options & hfRequireCTS) DCBShadow.fOutxCtsFlow = 1;
  return ApplySettings();
}

int TApdBaseDispatcher::ConfigureSoftwareFlow(int BufferFull, int BufferResume, int Options) {
  std::lock_guard state(StateLock);
  if (BufferFull < BufferResume || BufferFull > static_cast<int>(InQueueSize))
    return ecBadArgument;
  DeviceGetState(DCBShadow);
  // Each side follows its option bit, so narrowing the mode switches the other side off.
  DCBShadow.fInX = (Options & sfReceiveFlow) ? 1 : 0;
  DCBShadow.fOutX = (Options & sfTransmitFlow) ? 1 : 0;
  if (Options & sfReceiveFlow) {
    DCBShadow.XoffLim = static_cast<WORD>(InQueueSize - BufferFull);
    DCBShadow.XonLim = static_cast<WORD>(BufferResume);
  }
  if (Options & (sfReceiveFlow | sfTransmitFlow)) {
    DCBShadow.XonChar = 0x11;
    DCBShadow.XoffChar = 0x13;
  }
  return ApplySettings();
}

int TApdBaseDispatcher::DisableSoftwareFlow() {
  std::lock_guard state(StateLock);
  DeviceGetState(DCBShadow);
  DCBShadow.fInX = 0;
  DCBShadow.fOutX = 0;
  return ApplySettings();
}

int TApdBaseDispatcher::SetFlowCharacters(uint8_t XOn, uint8_t XOff) {
  std::lock_guard state(StateLock);
  DeviceGetState(DCBShadow);
  DCBShadow.XonChar = static_cast<char>(XOn);
  DCBShadow.XoffChar = static_cast<char>(XOff);
  return ApplySettings();
}

void TApdBaseDispatcher::ReadFlowSettings(int& HWOptions, int& SWOptions, uint8_t& XOn,
                                          uint8_t& XOff) {
  std::lock_guard state(StateLock);
  DeviceGetState(DCBShadow);
  HWOptions = 0;
  if (DCBShadow.fDtrControl == DTR_CONTROL_HANDSHAKE) HWOptions |= hfUseDTR;
  if (DCBShadow.fRtsControl == RTS_CONTROL_HANDSHAKE) HWOptions |= hfUseRTS;
  if (DCBShadow.fOutxDsrFlow) HWOptions |= hfRequireDSR;
  if (DCBShadow.fOutxCtsFlow) HWOptions |= hfRequireCTS;
  SWOptions = 0;
  if (DCBShadow.fOutX) SWOptions |= sfTransmitFlow;
  if (DCBShadow.fInX) SWOptions |= sfReceiveFlow;
  XOn = static_cast<uint8_t>(DCBShadow.XonChar);
  XOff = static_cast<uint8_t>(DCBShadow.XoffChar);
}

void TApdBaseDispatcher::SelectRS485Mode(bool On) {
  std::lock_guard state(StateLock);
  RS485Mode = On;
  SetWorkerPriority(tkOutThread, PriorityBoost + (On ? 1 : 0));
}

void TApdBaseDispatcher::ApplyPriorityBoost(uint8_t Boost) {
  std::lock_guard state(StateLock);
  if (Boost == PriorityBoost) return;
  PriorityBoost = Boost;
  SetWorkerPriority(tkComThread, Boost);
  SetWorkerPriority(tkDispThread, Boost);
  SetWorkerPriority(tkOutThread, Boost + (RS485Mode ? 1 : 0));
}

void TApdBaseDispatcher::SetWorkerPriority(TApdThreadKind, int) {}
