// The serial port component. TApdCustomComPort keeps a port's settings as properties, opens
// and closes the device through a dispatcher it owns while the port is open, passes every
// setting, read and write to it, and turns the dispatcher's trigger messages, which arrive at
// a hidden window of the user-interface thread, into its On... events. TApdComPort publishes
// the properties and adds nothing.
//
// Threads: every operation and every event runs on the user-interface thread (the thread that
// opened the port owns its notification window). The dispatcher's worker threads reach the
// component only through messages to that window.
//
// Errors: negative result codes from the dispatcher become exceptions (RaiseOnError); nothing
// here returns an error code, except while the component is being loaded.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/winapi.h"
#include "serial/AdEvents.h"
#include "serial/AdPortTypes.h"
#include "serial/AwUser.h"
#include "serial/OoMisc.h"

// One party told about the port's opening and closing. The component allocates and frees it.
struct TPortUser {
  HWND Window = nullptr;       // when set, the party is told by a sent window message
  TPortCallback Callback;      // (CP, Opening)
  TPortCallbackEx CallbackEx;  // (CP, Kind)
  bool UsesEx = false;         // the party registered CallbackEx (or wants the closing message)
};

class TApdCustomComPort;
// Makes the dispatcher for an opening; the component owns the result.
using TDispatcherFactory = std::function<std::unique_ptr<TApdBaseDispatcher>(TApdCustomComPort*)>;

class TApdCustomComPort : public TApdBaseComponent {
  Q_OBJECT

public:
  explicit TApdCustomComPort(QObject* owner);
  ~TApdCustomComPort() override;

  // Copies the settings, port users, handlers and (of an open source) its triggers from another
  // port; the copy is closed. Anything but a TApdCustomComPort is ignored.
  virtual void Assign(QObject* source);
  void Loaded() override;

  // --- Properties (see the .cpp files for what a setter does while open) ---
  int Tag() const { return tag_; }
  void SetTag(int value) { tag_ = value; }

  TDeviceLayer DeviceLayer() const { return deviceLayer_; }
  void SetDeviceLayer(TDeviceLayer value);
  TDeviceLayers AllowedDeviceLayers() const { return allowedLayers_; }

  uint16_t ComNumber() const { return comNumber_; }
  void SetComNumber(uint16_t value);

  int Baud() const { return baud_; }
  void SetBaud(int value);
  TParity Parity() const { return parity_; }
  void SetParity(TParity value);
  uint16_t DataBits() const { return dataBits_; }
  void SetDataBits(uint16_t value);
  uint16_t StopBits() const { return stopBits_; }
  void SetStopBits(uint16_t value);

  bool PromptForPort() const { return promptForPort_; }
  void SetPromptForPort(bool value) { promptForPort_ = value; }

  uint16_t InSize() const { return inSize_; }
  void SetInSize(uint16_t value);
  uint16_t OutSize() const { return outSize_; }
  void SetOutSize(uint16_t value);

  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool value) { autoOpen_ = value; }

  // True from the end of a successful open until the dispatcher has been freed.
  bool Open() const { return open_; }
  void SetOpen(bool value);

  bool DTR() const { return dtr_; }
  void SetDTR(bool value);
  bool RTS() const { return rts_; }
  void SetRTS(bool value);

  THWFlowOptionSet HWFlowOptions() const { return hwFlowOptions_; }
  void SetHWFlowOptions(THWFlowOptionSet value);
  TSWFlowOptions SWFlowOptions() const { return swFlowOptions_; }
  void SetSWFlowOptions(TSWFlowOptions value);
  char XOnChar() const { return xOnChar_; }
  void SetXOnChar(char value);
  char XOffChar() const { return xOffChar_; }
  void SetXOffChar(char value);
  uint16_t BufferFull() const { return bufferFull_; }
  void SetBufferFull(uint16_t value);
  uint16_t BufferResume() const { return bufferResume_; }
  void SetBufferResume(uint16_t value);

  TTraceLogState Tracing() const { return tracing_; }
  void SetTracing(TTraceLogState value);
  uint32_t TraceSize() const { return traceSize_; }
  void SetTraceSize(uint32_t value);
  const TPassString& TraceName() const { return traceName_; }
  void SetTraceName(const TPassString& value);
  bool TraceHex() const { return traceHex_; }
  void SetTraceHex(bool value) { traceHex_ = value; }
  bool TraceAllHex() const { return traceAllHex_; }
  void SetTraceAllHex(bool value) { traceAllHex_ = value; }

  TTraceLogState Logging() const { return logging_; }
  void SetLogging(TTraceLogState value);
  uint32_t LogSize() const { return logSize_; }
  void SetLogSize(uint32_t value);
  const TPassString& LogName() const { return logName_; }
  void SetLogName(const TPassString& value);
  bool LogHex() const { return logHex_; }
  void SetLogHex(bool value) { logHex_ = value; }
  bool LogAllHex() const { return logAllHex_; }
  void SetLogAllHex(bool value) { logAllHex_ = value; }

  // Always true; the setter ignores its argument.
  bool UseMSRShadow() const { return true; }
  virtual void SetUseMSRShadow(bool value);
  bool UseEventWord() const { return useEventWord_; }
  void SetUseEventWord(bool value);
  uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
  void SetCommNotificationLevel(uint16_t value);
  TTapiMode TapiMode() const { return tapiMode_; }
  void SetTapiMode(TTapiMode value) { tapiMode_ = value; }
  bool RS485Mode() const { return rs485Mode_; }
  void SetRS485Mode(bool value);

  // Received bytes that must wait before data available is reported (given to the dispatcher at
  // open), and the worker threads' priority boost.
  uint16_t AvailTriggerLength() const { return availTriggerLength_; }
  void SetAvailTriggerLength(uint16_t value);
  uint8_t ThreadPriorityBoost() const { return threadPriorityBoost_; }
  void SetThreadPriorityBoost(uint8_t value);

  // --- Events ---
  const TNotifyEvent& OnPortClose() const { return onPortClose_; }
  void SetOnPortClose(const TNotifyEvent& handler) { onPortClose_ = handler; }
  const TNotifyEvent& OnPortOpen() const { return onPortOpen_; }
  void SetOnPortOpen(const TNotifyEvent& handler) { onPortOpen_ = handler; }
  const TTriggerEvent& OnTrigger() const { return onTrigger_; }
  void SetOnTrigger(const TTriggerEvent& handler);
  const TTriggerAvailEvent& OnTriggerAvail() const { return onTriggerAvail_; }
  void SetOnTriggerAvail(const TTriggerAvailEvent& handler);
  const TTriggerDataEvent& OnTriggerData() const { return onTriggerData_; }
  void SetOnTriggerData(const TTriggerDataEvent& handler);
  const TTriggerStatusEvent& OnTriggerStatus() const { return onTriggerStatus_; }
  void SetOnTriggerStatus(const TTriggerStatusEvent& handler);
  const TTriggerTimerEvent& OnTriggerTimer() const { return onTriggerTimer_; }
  void SetOnTriggerTimer(const TTriggerTimerEvent& handler);
  const TTriggerLineErrorEvent& OnTriggerLineError() const { return onTriggerLineError_; }
  void SetOnTriggerLineError(const TTriggerLineErrorEvent& handler);
  const TNotifyEvent& OnTriggerModemStatus() const { return onTriggerModemStatus_; }
  void SetOnTriggerModemStatus(const TNotifyEvent& handler);
  const TNotifyEvent& OnTriggerOutbuffFree() const { return onTriggerOutbuffFree_; }
  void SetOnTriggerOutbuffFree(const TNotifyEvent& handler);
  const TNotifyEvent& OnTriggerOutbuffUsed() const { return onTriggerOutbuffUsed_; }
  void SetOnTriggerOutbuffUsed(const TNotifyEvent& handler);
  const TNotifyEvent& OnTriggerOutSent() const { return onTriggerOutSent_; }
  void SetOnTriggerOutSent(const TNotifyEvent& handler);
  const TCharWaitedEvent& OnCharWaited() const { return onCharWaited_; }
  void SetOnCharWaited(const TCharWaitedEvent& handler) { onCharWaited_ = handler; }

  // --- Operations (user-interface thread) ---
  // SendText and PurgeInput start an exchange: on a port whose device has hung up (a pulled
  // adapter) they close it first, so AutoOpen opens the device again, or raises while it is
  // still gone. Without AutoOpen they raise ECommNotOpen.
  // Queues all bytes for output in one piece; an empty text sends nothing.
  void SendText(const std::string& text);
  // The next received byte; EBufferIsEmpty when none waits. #0 while shutting down. Inside a
  // data-available event, where a handler calls it once per byte, an open port's read is a
  // few loads and stores (the dispatcher's read lease); the error check runs only on failure.
  char ReadChar() {
    TApdBaseDispatcher* d = portState_ == psOpen ? Dispatcher.get() : nullptr;
    if (!d) return ReadCharNotOpen();
    uint8_t byte = 0;
    if (const int result = d->ReadByte(byte); result < 0) Check(result);
    return static_cast<char>(byte);
  }
  // The next count received bytes in one piece, all or nothing (inside a data-available event,
  // of the announced ones): returns count; EGetBlockFail when fewer wait. 0 while shutting
  // down or for a count of 0.
  int GetBlock(char* buffer, int count);
  // Discards the device's input queue and the received bytes held.
  void PurgeInput();
  virtual void ServicePort();
  // Queries: 0 / false unless the port is open; they never open it.
  int InputCount();
  int OutputCount();
  bool CtsState();
  bool DsrState();
  bool DcdState();
  bool RingState();
  uint16_t LastLineError();
  bool BreakSeen();
  // Triggers: the handles stay valid across a reopen.
  int NewTimerTrigger();
  int NewStatusTrigger(uint16_t kind);
  void ArmTimerTrigger(uint16_t handle, int ticks, bool activate);
  void ArmStatusTrigger(uint16_t handle, uint16_t value, bool activate);
  void DropTrigger(uint16_t handle);

  // Port users, told about opening and closing (walked from the last to the first).
  void AddPortUser(const TPortCallback& callback);
  void AddPortUserEx(const TPortCallbackEx& callback);
  // A window told by sent messages (opened, closed and, with usesEx, closing).
  void AddPortUserW(HWND window, bool usesEx = false);
  // Remove every entry whose callback has the same code (the bound object is not compared);
  // nothing while the component is being destroyed.
  void RemovePortUser(const TPortCallback& callback);
  void RemovePortUserEx(const TPortCallbackEx& callback);
  void RemovePortUserW(HWND window);
  int PortUserCount() const { return static_cast<int>(PortUsers.size()); }

  // --- State for the port's users and tests ---
  TPortState PortState() const { return portState_; }
  // The dispatcher while one exists (open, or a deferred close still running), else null.
  TApdBaseDispatcher* GetDispatcher() const { return Dispatcher.get(); }
  HWND NotifyWindow() const { return notifyWindow_; }
  bool ReopenWhenClosed() const { return reopenWhenClosed_; }

  // When set, MakeDispatcher returns what it makes instead of a Win32 dispatcher.
  void SetDispatcherFactory(TDispatcherFactory factory) { DispatcherFactory = std::move(factory); }

  // Called by the notification window's procedure (registry lock held): delivers one message.
  void HandleNotifyMessage(TApdBaseDispatcher* dispatcher, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
  // --- Overridable steps ---
  virtual std::unique_ptr<TApdBaseDispatcher> MakeDispatcher();
  virtual void DeviceLayerSwitched() {}
  virtual int OpenDevice();
  virtual void AttachNotifyWindow(bool attach);
  virtual void ResolvePortNumber();
  virtual void FireTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data);
  virtual void FireTriggerAvail(uint16_t count);
  virtual void FireTriggerData(uint16_t triggerHandle);
  virtual void FireTriggerStatus(uint16_t triggerHandle);
  virtual void FireTriggerTimer(uint16_t triggerHandle);
  virtual void RefreshEventMode();
  virtual void FireTriggerLineError(uint16_t error, bool lineBreak);
  virtual void FireTriggerModemStatus();
  virtual void FireTriggerOutbuffFree();
  virtual void FireTriggerOutbuffUsed();
  virtual void FireTriggerOutSent();
  virtual void FireCharWaited(uint8_t c);
  virtual void StopPort();
  virtual void StartPort();
  virtual void NotifyOpened();
  virtual void NotifyClosing();
  virtual void NotifyClosed();

  // The dispatcher, opening the port first when it is closed and AutoOpen is set.
  TApdBaseDispatcher* CurrentDispatcher();
  // As CurrentDispatcher; ECommNotOpen when there is none.
  TApdBaseDispatcher* RequireDispatcher();
  // The dispatcher only while the port state is open, else null.
  TApdBaseDispatcher* OpenDispatcher() const {
    return portState_ == psOpen ? Dispatcher.get() : nullptr;
  }
  // The error check, not raising while the component is being loaded.
  int Check(int code) const;

  std::unique_ptr<TApdBaseDispatcher> Dispatcher;  // owned from the open to the end of the close
  TDispatcherFactory DispatcherFactory;            // tests' seam; never set by the program
  bool ForceApply = false;            // setters re-send unchanged values
  bool OpenAfterLoad = false;         // Open was set while loading or designing
  bool RestoreTriggersOnOpen = false; // the next open puts SavedTriggers back
  TriggerSaveRecord SavedTriggers;    // triggers copied out at the last close
  std::vector<TPortUser> PortUsers;   // parties told about open and close

private:
  // Closes the open port when its device has hung up, so that the operation about to run opens
  // it afresh (AutoOpen) or fails as on a closed port. Not inside this port's own events.
  void CloseIfDeviceGone();
  // ReadChar while the port is not open: #0 while shutting down, else AutoOpen or ECommNotOpen.
  char ReadCharNotOpen();
  void ChangeComNumber(uint16_t value);
  void ReleaseDispatcher();
  void FinishDeferredClose(TApdBaseDispatcher* dispatcher, LPARAM lParam);
  void DeliverTrigger(UINT msg, WPARAM wParam, LPARAM lParam);
  void ApplyLineSettings();
  void ReapplyFlowOptions();
  void ApplyTraceState(TTraceLogState value);
  void ApplyLogState(TTraceLogState value);
  void NotifyPortUsers(TApdCallbackType kind);

  TPortState portState_ = psClosed;
  HWND notifyWindow_ = nullptr;     // hidden window receiving the dispatcher's messages
  int deliveryDepth_ = 0;           // this port's events running on the stack (nested count)
  bool open_ = false;
  bool reopenWhenClosed_ = false;   // Open was set while a close was still in progress

  int tag_ = 0;
  TDeviceLayer deviceLayer_ = dlWin32;
  TDeviceLayers allowedLayers_{dlWin32};
  uint16_t comNumber_ = 0;
  int baud_ = 19200;
  TParity parity_ = pNone;
  uint16_t dataBits_ = 8;
  uint16_t stopBits_ = 1;
  bool promptForPort_ = true;
  uint16_t inSize_ = 4096;
  uint16_t outSize_ = 4096;
  bool autoOpen_ = true;
  bool dtr_ = true;
  bool rts_ = true;
  THWFlowOptionSet hwFlowOptions_;
  TSWFlowOptions swFlowOptions_ = swfNone;
  char xOnChar_ = 17;
  char xOffChar_ = 19;
  uint16_t bufferFull_ = 0;
  uint16_t bufferResume_ = 0;
  TTraceLogState tracing_ = tlOff;
  uint32_t traceSize_ = 10000;
  TPassString traceName_ = "TALO.TRC";
  bool traceHex_ = true;
  bool traceAllHex_ = false;
  TTraceLogState logging_ = tlOff;
  uint32_t logSize_ = 10000;
  TPassString logName_ = "TALO.LOG";
  bool logHex_ = true;
  bool logAllHex_ = false;
  bool useEventWord_ = true;
  uint16_t commNotificationLevel_ = 10;
  TTapiMode tapiMode_ = tmAuto;
  bool rs485Mode_ = false;
  uint16_t availTriggerLength_ = 1;
  uint8_t threadPriorityBoost_ = 0;

  TNotifyEvent onPortClose_;
  TNotifyEvent onPortOpen_;
  TTriggerEvent onTrigger_;
  TTriggerAvailEvent onTriggerAvail_;
  TTriggerDataEvent onTriggerData_;
  TTriggerStatusEvent onTriggerStatus_;
  TTriggerTimerEvent onTriggerTimer_;
  TTriggerLineErrorEvent onTriggerLineError_;
  TNotifyEvent onTriggerModemStatus_;
  TNotifyEvent onTriggerOutbuffFree_;
  TNotifyEvent onTriggerOutbuffUsed_;
  TNotifyEvent onTriggerOutSent_;
  TCharWaitedEvent onCharWaited_;
};

// The published port component: the properties of TApdCustomComPort as Qt properties (those of
// plain types; the enumerated ones and the events through the C++ accessors).
class TApdComPort : public TApdCustomComPort {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(int ComNumber READ ComNumber WRITE SetComNumberInt)
  Q_PROPERTY(int Baud READ Baud WRITE SetBaud)
  Q_PROPERTY(bool PromptForPort READ PromptForPort WRITE SetPromptForPort)
  Q_PROPERTY(int DataBits READ DataBits WRITE SetDataBitsInt)
  Q_PROPERTY(int StopBits READ StopBits WRITE SetStopBitsInt)
  Q_PROPERTY(int InSize READ InSize WRITE SetInSizeInt)
  Q_PROPERTY(int OutSize READ OutSize WRITE SetOutSizeInt)
  Q_PROPERTY(bool AutoOpen READ AutoOpen WRITE SetAutoOpen)
  Q_PROPERTY(bool Open READ Open WRITE SetOpen)
  Q_PROPERTY(bool DTR READ DTR WRITE SetDTR)
  Q_PROPERTY(bool RTS READ RTS WRITE SetRTS)
  Q_PROPERTY(int BufferFull READ BufferFull WRITE SetBufferFullInt)
  Q_PROPERTY(int BufferResume READ BufferResume WRITE SetBufferResumeInt)
  Q_PROPERTY(bool TraceHex READ TraceHex WRITE SetTraceHex)
  Q_PROPERTY(bool TraceAllHex READ TraceAllHex WRITE SetTraceAllHex)
  Q_PROPERTY(bool LogHex READ LogHex WRITE SetLogHex)
  Q_PROPERTY(bool LogAllHex READ LogAllHex WRITE SetLogAllHex)
  Q_PROPERTY(bool UseMSRShadow READ UseMSRShadow WRITE SetUseMSRShadow)
  Q_PROPERTY(bool UseEventWord READ UseEventWord WRITE SetUseEventWord)
  Q_PROPERTY(bool RS485Mode READ RS485Mode WRITE SetRS485Mode)

public:
  explicit TApdComPort(QObject* owner);

private:
  void SetComNumberInt(int value) { SetComNumber(static_cast<uint16_t>(value)); }
  void SetDataBitsInt(int value) { SetDataBits(static_cast<uint16_t>(value)); }
  void SetStopBitsInt(int value) { SetStopBits(static_cast<uint16_t>(value)); }
  void SetInSizeInt(int value) { SetInSize(static_cast<uint16_t>(value)); }
  void SetOutSizeInt(int value) { SetOutSize(static_cast<uint16_t>(value)); }
  void SetBufferFullInt(int value) { SetBufferFull(static_cast<uint16_t>(value)); }
  void SetBufferResumeInt(int value) { SetBufferResume(static_cast<uint16_t>(value)); }
};
