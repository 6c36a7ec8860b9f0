// The port component's property setters. While the port is closed (or still shutting down) a
// setter only stores its value; while it is open most of them also hand the value to the
// dispatcher. A setter does nothing for an unchanged value unless ForceApply is set (the open
// sequence re-sends the settings that way).
#include <algorithm>

#include "serial/AdExcept.h"
#include "serial/AdPort.h"

namespace {

// Largest trace, in entries, and largest log, in bytes.
constexpr uint32_t MaxTraceSize = 4000000;
constexpr uint32_t MaxLogSize = 16000000;

// Default flow-control thresholds: numerator / denominator of the input queue size.
struct ThresholdRule {
  uint32_t fullNum, fullDen, resumeNum, resumeDen;
};
constexpr ThresholdRule HardwareThresholds{9, 10, 1, 10};
constexpr ThresholdRule SoftwareThresholds{3, 4, 1, 4};

}  // namespace

// --- Line settings ---

void TApdCustomComPort::ApplyLineSettings() {
  if (TApdBaseDispatcher* d = OpenDispatcher())
    Check(d->ApplyLineSettings(baud_, static_cast<int>(parity_), stopBits_, dataBits_));
}

void TApdCustomComPort::SetBaud(int value) {
  if (value == baud_) return;
  baud_ = value;
  ApplyLineSettings();
}

void TApdCustomComPort::SetParity(TParity value) {
  if (value == parity_) return;
  parity_ = value;
  ApplyLineSettings();
}

void TApdCustomComPort::SetDataBits(uint16_t value) {
  if (value == dataBits_) return;
  dataBits_ = value;
  ApplyLineSettings();
}

void TApdCustomComPort::SetStopBits(uint16_t value) {
  if (value == stopBits_) return;
  stopBits_ = value;
  ApplyLineSettings();
}

void TApdCustomComPort::SetInSize(uint16_t value) {
  if (value == inSize_) return;
  inSize_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher()) d->DeviceSizeQueues(inSize_, outSize_);
}

void TApdCustomComPort::SetOutSize(uint16_t value) {
  if (value == outSize_) return;
  outSize_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher()) d->DeviceSizeQueues(inSize_, outSize_);
}

// --- Modem lines ---

// The dispatcher answers 1 without changing the line while the line is under hardware flow
// control; the property then keeps its value.
void TApdCustomComPort::SetDTR(bool value) {
  if (value == dtr_ && !ForceApply) return;
  if (TApdBaseDispatcher* d = OpenDispatcher()) {
    if (Check(d->DriveDTR(value)) == 0) dtr_ = value;
  } else {
    dtr_ = value;
  }
}

void TApdCustomComPort::SetRTS(bool value) {
  if (value == rts_ && !ForceApply) return;
  if (TApdBaseDispatcher* d = OpenDispatcher()) {
    if (Check(d->DriveRTS(value)) == 0) rts_ = value;
  } else {
    rts_ = value;
  }
}

// --- Flow control ---

namespace {

void AdjustThresholds(const ThresholdRule& rule, uint32_t inSize, uint16_t& full, uint16_t& resume) {
  if (full == 0 || full > inSize) full = static_cast<uint16_t>(inSize * rule.fullNum / rule.fullDen);
  if (resume == 0 || resume > full)
    resume = static_cast<uint16_t>(inSize * rule.resumeNum / rule.resumeDen);
}

int HardwareOptionBits(THWFlowOptionSet options) {
  int bits = 0;
  if (options.Contains(hwfUseDTR)) bits |= hfUseDTR;
  if (options.Contains(hwfUseRTS)) bits |= hfUseRTS;
  if (options.Contains(hwfRequireDSR)) bits |= hfRequireDSR;
  if (options.Contains(hwfRequireCTS)) bits |= hfRequireCTS;
  return bits;
}

int SoftwareModeBits(TSWFlowOptions mode) {
  switch (mode) {
    case swfReceive: return sfReceiveFlow;
    case swfTransmit: return sfTransmitFlow;
    case swfBoth: return sfReceiveFlow | sfTransmitFlow;
    case swfNone: break;
  }
  return 0;
}

}  // namespace

void TApdCustomComPort::SetHWFlowOptions(THWFlowOptionSet value) {
  if (value == hwFlowOptions_ && !ForceApply) return;
  if (!value.Empty()) AdjustThresholds(HardwareThresholds, inSize_, bufferFull_, bufferResume_);
  if (TApdBaseDispatcher* d = OpenDispatcher())
    Check(d->ConfigureHardwareFlow(bufferFull_, bufferResume_, HardwareOptionBits(value)));
  hwFlowOptions_ = value;
  // RS-485 drives RTS itself: it cannot share RTS with hardware flow control.
  if (value.Contains(hwfUseRTS) || value.Contains(hwfRequireCTS)) SetRS485Mode(false);
}

void TApdCustomComPort::SetSWFlowOptions(TSWFlowOptions value) {
  if (value == swFlowOptions_ && !ForceApply) return;
  if (value != swfNone) AdjustThresholds(SoftwareThresholds, inSize_, bufferFull_, bufferResume_);
  if (TApdBaseDispatcher* d = OpenDispatcher()) {
    if (value != swfNone)
      Check(d->ConfigureSoftwareFlow(bufferFull_, bufferResume_, SoftwareModeBits(value)));
    else
      Check(d->DisableSoftwareFlow());
  }
  swFlowOptions_ = value;
}

void TApdCustomComPort::ReapplyFlowOptions() {
  const bool saved = ForceApply;
  ForceApply = true;
  try {
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
  } catch (...) {
    ForceApply = saved;
    throw;
  }
  ForceApply = saved;
}

void TApdCustomComPort::SetBufferFull(uint16_t value) {
  if (value == bufferFull_ && !ForceApply) return;
  bufferFull_ = value > inSize_ ? static_cast<uint16_t>(uint32_t{inSize_} * 9 / 10) : value;
  ReapplyFlowOptions();
}

void TApdCustomComPort::SetBufferResume(uint16_t value) {
  if (value == bufferResume_ && !ForceApply) return;
  bufferResume_ = value > bufferFull_ ? static_cast<uint16_t>(uint32_t{bufferFull_} / 10) : value;
  ReapplyFlowOptions();
}

void TApdCustomComPort::SetXOnChar(char value) {
  if (value == xOnChar_ && !ForceApply) return;
  xOnChar_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher())
    Check(d->SetFlowCharacters(static_cast<uint8_t>(xOnChar_), static_cast<uint8_t>(xOffChar_)));
}

void TApdCustomComPort::SetXOffChar(char value) {
  if (value == xOffChar_ && !ForceApply) return;
  xOffChar_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher())
    Check(d->SetFlowCharacters(static_cast<uint8_t>(xOnChar_), static_cast<uint8_t>(xOffChar_)));
}

void TApdCustomComPort::SetRS485Mode(bool value) {
  if (value == rs485Mode_ && !ForceApply) return;
  if (TApdBaseDispatcher* d = OpenDispatcher()) d->SelectRS485Mode(value);
  rs485Mode_ = value;
  if (value) {
    SetHWFlowOptions(THWFlowOptionSet(hwFlowOptions_).Exclude(hwfUseRTS).Exclude(hwfRequireCTS));
    SetRTS(false);
  }
}

// --- Other dispatcher options ---

void TApdCustomComPort::SetUseMSRShadow(bool) {}

void TApdCustomComPort::SetUseEventWord(bool value) {
  if (value == useEventWord_ && !ForceApply) return;
  useEventWord_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher()) {
    if (value)
      d->SetOptionFlags(UseEventWordOption);
    else
      d->ClearOptionFlags(UseEventWordOption);
  }
}

void TApdCustomComPort::SetCommNotificationLevel(uint16_t value) {
  if (value == commNotificationLevel_ && !ForceApply) return;
  commNotificationLevel_ = value;
}

void TApdCustomComPort::SetAvailTriggerLength(uint16_t value) {
  if (value == availTriggerLength_ && !ForceApply) return;
  availTriggerLength_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher()) d->SetAvailThreshold(value);
}

void TApdCustomComPort::SetThreadPriorityBoost(uint8_t value) {
  if (value == threadPriorityBoost_ && !ForceApply) return;
  threadPriorityBoost_ = value;
  if (TApdBaseDispatcher* d = OpenDispatcher()) d->ApplyPriorityBoost(value);
}

// --- Trace and log ---

void TApdCustomComPort::SetTraceName(const TPassString& value) {
  traceName_ = value.substr(0, MaxPassStringLength);
}

void TApdCustomComPort::SetLogName(const TPassString& value) {
  logName_ = value.substr(0, MaxPassStringLength);
}

void TApdCustomComPort::SetTracing(TTraceLogState value) {
  if (value == tracing_ && !ForceApply) return;
  if (portState_ == psClosed)
    tracing_ = value == tlOn ? tlOn : tlOff;
  else if (portState_ == psOpen)
    ApplyTraceState(value);
}

void TApdCustomComPort::ApplyTraceState(TTraceLogState value) {
  TApdBaseDispatcher* d = Dispatcher.get();
  const bool running = tracing_ == tlOn || tracing_ == tlPause;
  switch (value) {
    case tlOff:
      if (running) d->StopTrace();
      tracing_ = tlOff;
      break;
    case tlOn:
      if (tracing_ == tlPause)
        d->ResumeTrace();
      else
        Check(d->StartTrace(traceSize_));
      tracing_ = tlOn;
      break;
    case tlDump:
    case tlAppend:
      if (running) {
        d->ResumeTrace();
        // The dump ends the trace whether or not the file could be written.
        const int result = d->DumpTrace(traceName_, value == tlAppend, traceAllHex_, traceHex_);
        tracing_ = tlOff;
        Check(result);
      }
      tracing_ = tlOff;
      break;
    case tlClear:
      if (running) Check(d->ClearTrace());
      break;
    case tlPause:
      if (tracing_ == tlOn) {
        d->PauseTrace();
        tracing_ = tlPause;
      }
      break;
  }
}

void TApdCustomComPort::SetTraceSize(uint32_t value) {
  value = std::min(value, MaxTraceSize);
  if (value == traceSize_) return;
  traceSize_ = value;
  if (portState_ == psOpen && (tracing_ == tlOn || tracing_ == tlPause)) {
    // The trace restarts with the new size; a paused one ends up off.
    const TTraceLogState was = tracing_;
    SetTracing(tlOff);
    SetTracing(was);
  }
}

void TApdCustomComPort::SetLogging(TTraceLogState value) {
  if (value == logging_ && !ForceApply) return;
  if (portState_ == psClosed)
    logging_ = value == tlOn ? tlOn : tlOff;
  else if (portState_ == psOpen)
    ApplyLogState(value);
}

void TApdCustomComPort::ApplyLogState(TTraceLogState value) {
  TApdBaseDispatcher* d = Dispatcher.get();
  const bool running = logging_ == tlOn || logging_ == tlPause;
  switch (value) {
    case tlOff:
      if (running) d->StopLog();
      logging_ = tlOff;
      break;
    case tlOn:
      if (logging_ == tlPause)
        d->ResumeLog();
      else
        d->StartLog(logSize_);
      logging_ = tlOn;
      break;
    case tlDump:
    case tlAppend:
      if (running) {
        d->ResumeLog();
        const int result = d->DumpLog(logName_, value == tlAppend, logAllHex_, logHex_);
        logging_ = tlOff;
        Check(result);
      }
      logging_ = tlOff;
      break;
    case tlClear:
      if (running) Check(d->ClearLog());
      break;
    case tlPause:
      if (logging_ == tlOn) {
        d->PauseLog();
        logging_ = tlPause;
      }
      break;
  }
}

void TApdCustomComPort::SetLogSize(uint32_t value) {
  value = std::min(value, MaxLogSize);
  if (value == logSize_) return;
  logSize_ = value;
  if (portState_ == psOpen && (logging_ == tlOn || logging_ == tlPause)) {
    const TTraceLogState was = logging_;
    SetLogging(tlOff);
    SetLogging(was);
  }
}
