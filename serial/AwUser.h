// The dispatcher: the engine under the serial port component. TApdBaseDispatcher owns the
// dispatch buffer (received bytes), the output ring, the trigger tables and the event
// receivers; it decides when a trigger is due and hands trigger events to the user-interface
// thread. Every contact with the device goes through the abstract device-layer operations,
// which a concrete dispatcher implements together with its three worker threads (receive,
// dispatch, output). Also here: the process-wide registry of dispatchers, and each
// dispatcher's byte trace and dispatch log.
//
// Threads: the user-interface thread calls every operation of the public interface; the
// dispatch thread runs DispatchPass and DeliverTrigger; the receive and output threads touch
// only the output ring, the device status and the event bits.
//
// Locks: InputLock before OutputLock before StateLock when nested; all three are re-entrant
// for their owner. None is held while a handler runs, while the calling thread pumps messages
// or while it waits for a worker thread.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/winapi.h"
#include "serial/AdExcept.h"
#include "serial/OoMiscClock.h"

class TApdCustomComPort;

// Trigger messages sent to the registered windows. wParam: the byte count (avail) or the
// trigger handle; lParam: (dispatcher handle << 16) + a data word.
inline constexpr UINT TriggerAvailMessage = 0x7E01;
inline constexpr UINT TriggerDataMessage = 0x7E02;
inline constexpr UINT TriggerTimerMessage = 0x7E03;
inline constexpr UINT TriggerStatusMessage = 0x7E04;

// Window deliveries wait this long for the handler (SendMessageTimeout with SMTO_BLOCK).
inline constexpr UINT TriggerSendTimeoutMs = 3000;

// Size of the dispatch buffer (a ring of received bytes).
inline constexpr uint32_t DispatchBufferSize = 8192;
// The data-available trigger's fixed handle.
inline constexpr int AvailTriggerHandle = 1;
// The trigger handle counter issues counter * 8 while the counter is below this.
inline constexpr uint32_t TriggerHandleCounterLimit = 4096;
// Longest data trigger string (one match cursor per character).
inline constexpr int MaxDataTriggerLength = 22;
// Largest trace, in entries.
inline constexpr uint32_t MaxTraceEntries = 4000000;

// OpenPort option bits.
inline constexpr uint32_t ptoDTROn = 0x01;
inline constexpr uint32_t ptoRTSOn = 0x02;
inline constexpr uint32_t ptoDTRFlow = 0x10;
inline constexpr uint32_t ptoRTSFlow = 0x20;

// ConfigureHardwareFlow option bits.
inline constexpr int hfUseDTR = 0x01;
inline constexpr int hfUseRTS = 0x02;
inline constexpr int hfRequireDSR = 0x04;
inline constexpr int hfRequireCTS = 0x08;
// ConfigureSoftwareFlow option bits.
inline constexpr int sfTransmitFlow = 0x01;
inline constexpr int sfReceiveFlow = 0x02;

// Status trigger kinds (the low three bits of a status trigger's handle).
enum TStatusKind : uint8_t {
  stNotActive = 0,
  stModem = 1,
  stLine = 2,
  stOutBuffFree = 3,
  stOutBuffUsed = 4,
  stOutSent = 5,
};

// Modem status shadow bits: change bits in the low nibble, line states in the high nibble.
inline constexpr uint32_t msDeltaCTS = 0x01;
inline constexpr uint32_t msDeltaDSR = 0x02;
inline constexpr uint32_t msTrailingRing = 0x04;
inline constexpr uint32_t msDeltaDCD = 0x08;
inline constexpr uint32_t msCTS = 0x10;
inline constexpr uint32_t msDSR = 0x20;
inline constexpr uint32_t msRing = 0x40;
inline constexpr uint32_t msDCD = 0x80;

// Line error word bits (the device's CE_ values).
inline constexpr uint32_t leOverflow = 0x01;
inline constexpr uint32_t leOverrun = 0x02;
inline constexpr uint32_t leParity = 0x04;
inline constexpr uint32_t leFraming = 0x08;
inline constexpr uint32_t leBreak = 0x10;

// The ring trailing-edge device event of older Windows versions (beside EV_RING).
inline constexpr DWORD EV_RINGTE = 0x2000;

// Dispatch log entry types and subtypes (their names are message-table texts 15001 + type and
// 15100 + subtype).
enum TDispatchType : uint8_t {
  dtDispatch = 1,
  dtTrigger = 2,
  dtTriggerAlloc = 5,
  dtTriggerDispose = 6,
  dtTriggerHandlerAlloc = 7,
  dtTriggerHandlerDispose = 8,
  dtTriggerDataChange = 9,
};
enum TDispatchSubType : uint8_t {
  dstReadCom = 1,
  dstWriteCom = 2,
  dstAvail = 5,
  dstTimer = 6,
  dstData = 7,
  dstStatus = 8,
  dstTimerTrigger = 14,
  dstStatusTrigger = 15,
  dstAvailTrigger = 16,
  dstWindowHandler = 17,
};

// The three worker threads of a running dispatcher.
enum TApdThreadKind : int { tkComThread = 0, tkDispThread = 1, tkOutThread = 2 };

// Trigger records. Value types: the lists own them, a TriggerSaveRecord holds copies.
struct TTimerTrigger {
  int32_t Handle = 0;
  EventTimer Timer;      // start and expiry tick of the running timer
  int32_t Ticks = 0;     // interval in ticks; arming with 0 keeps it
  bool Active = false;
};

struct TStatusTrigger {
  int32_t Handle = 0;    // low three bits: the kind
  uint8_t Kind = stNotActive;
  uint16_t Value = 0;    // modem: low byte line states when armed, high byte line mask;
                         // line: error mask (line error bits); out buffer: the threshold
  bool Armed = false;
  bool Hit = false;      // fired in the current pass
};

struct TDataTrigger {
  int32_t Handle = 0;
  int32_t Length = 0;
  std::array<int32_t, MaxDataTriggerLength> Cursors{};  // match cursors, 0 = free
  bool Matched = false;
  bool IgnoreCase = false;
  std::array<char, MaxDataTriggerLength + 2> Data{};    // the string (upper case if IgnoreCase)
};

// Feeds one received byte to a data trigger's match cursors; true when the byte completes
// the trigger's string (the cursors are then cleared).
bool DataTriggerMatch(TDataTrigger& Trigger, uint8_t Byte);

// The avail threshold and every trigger of a dispatcher, as copied out at a close and put back
// after the next open, so handles held by users stay valid across a reopen.
struct TriggerSaveRecord {
  int32_t AvailThreshold = 0;
  std::vector<TTimerTrigger> TimerTriggers;
  std::vector<TDataTrigger> DataTriggers;
  std::vector<TStatusTrigger> StatusTriggers;
  void Clear();
};

// Event receivers besides windows. Nothing in this program registers them; delivery serves
// them before the windows.
using TApdNotifyProc = void (*)(UINT Msg, WPARAM wParam, LPARAM lParam);
struct TApdNotifyMethod {
  void (*Code)(void* Self, UINT Msg, WPARAM wParam, LPARAM lParam) = nullptr;
  void* Self = nullptr;
  bool operator==(const TApdNotifyMethod&) const = default;
};

struct TWindowHandler {
  HWND Window = nullptr;
  bool Removed = false;
};
struct TProcHandler {
  TApdNotifyProc Proc = nullptr;
  bool Removed = false;
};
struct TMethodHandler {
  TApdNotifyMethod Method;
  bool Removed = false;
  bool Synchronize = false;  // run on the user-interface thread (RunSynchronized)
};

class TApdBaseDispatcher;

// The registry of dispatchers: one process-wide list whose slot index is a dispatcher's
// handle. The lock is re-entrant; the component's window procedure holds it while it finds a
// dispatcher and delivers its event, so the dispatcher cannot vanish under it.
std::recursive_mutex& DispatcherRegistryLock();
// The dispatcher with this handle, or nullptr (bad handle, empty slot). Hold the registry lock.
TApdBaseDispatcher* DispatcherFromHandle(int Handle);
// Number of slots (empty ones inside the list included). Hold the registry lock.
int DispatcherRegistryCount();

class TApdBaseDispatcher {
public:
  explicit TApdBaseDispatcher(TApdCustomComPort* Owner);
  TApdBaseDispatcher(const TApdBaseDispatcher&) = delete;
  TApdBaseDispatcher& operator=(const TApdBaseDispatcher&) = delete;
  // A concrete dispatcher's destructor must call Shutdown() first (the steps need its device
  // operations); this one only leaves the registry and frees what is left.
  virtual ~TApdBaseDispatcher();

  TApdCustomComPort* Owner() const { return OwnerComponent; }
  int Handle() const { return DispatcherHandle; }
  LONG_PTR DeviceHandleValue() const { return DeviceHandle.load(); }
  // True once the device hung up while the port was open, for good (a device layer that can
  // tell says so; the default cannot). Any thread.
  virtual bool DeviceGone() const { return false; }

  // --- Opening and closing (user-interface thread) ---
  int OpenPort(const std::string& Name, int Baud, int Parity, int DataBits, int StopBits,
               uint32_t InSize, uint32_t OutSize, uint32_t Options);
  // Flushes and closes the device, then releases buffers and threads, or, while a delivery is
  // in progress, sets close pending and leaves the release to the dispatch thread.
  int ClosePort();
  // The component reads these after ClosePort: a deferred close has finished once threads
  // are no longer active.
  bool IsInDelivery() const { return InDelivery.load(); }
  bool AreThreadsActive() const { return ThreadsActive.load(); }
  bool IsClosePending() const { return ClosePending.load(); }

  void SetOptionFlags(uint32_t Bits);
  void ClearOptionFlags(uint32_t Bits);
  uint32_t GetOptionFlags();
  // "COMn", shown in the log dump's header.
  void SetDeviceName(const std::string& Name);

  // --- Input ---
  int ReadByte(uint8_t& Byte);
  int PeekByte(uint8_t& Byte, uint32_t N);
  int BytesWaiting();
  int DiscardInput();

  // --- Output ---
  int WriteBytes(const void* Data, uint32_t Length);
  int OutputPending();
  int OutputRoom();
  void DiscardOutput();

  // --- Line and flow settings ---
  int ApplyLineSettings(int Baud, int Parity, int StopBits, int DataBits);
  void ReadLineSettings(int& Baud, int& Parity, int& StopBits, int& DataBits);
  int DriveDTR(bool On);
  int DriveRTS(bool On);
  int ConfigureHardwareFlow(int BufferFull, int BufferResume, int Options);
  int ConfigureSoftwareFlow(int BufferFull, int BufferResume, int Options);
  int DisableSoftwareFlow();
  int SetFlowCharacters(uint8_t XOn, uint8_t XOff);
  void ReadFlowSettings(int& HWOptions, int& SWOptions, uint8_t& XOn, uint8_t& XOff);
  // Waits until queued output has left and the line has had time to send it.
  void WaitOutputDrained();
  void SelectRS485Mode(bool On);

  // --- Modem and line status ---
  uint32_t SampleModemStatus(uint32_t KeepMask);
  int LineCTS();
  int LineDSR();
  int LineDCD();
  bool RingSeen();
  int TakeLineError();
  bool TakeLineBreak();

  // --- Triggers ---
  void SetAvailThreshold(int Count);
  int NewTimerTrigger();
  int NewStatusTrigger(int Kind);
  // A data trigger fires when String (1 to 22 bytes) has arrived: −1002 for an empty string,
  // −5002 for a longer one, −5001 when no handle is free.
  int AddDataTrigger(const std::string& String, bool IgnoreCase);
  int ArmTimerTrigger(int Handle, int Ticks, bool Activate);
  int ArmStatusTrigger(int Handle, int Value, bool Activate);
  int DeleteTrigger(int Handle);
  void SnapshotTriggers(TriggerSaveRecord& Save);
  void ReinstallTriggers(const TriggerSaveRecord& Save);

  // --- Event receivers ---
  void AttachWindow(HWND Window);
  void DetachWindow(HWND Window);
  void RegisterProcHandler(TApdNotifyProc Proc);
  void DeregisterProcHandler(TApdNotifyProc Proc);
  void RegisterMethodHandler(const TApdNotifyMethod& Method, bool Synchronize);
  void DeregisterMethodHandler(const TApdNotifyMethod& Method);
  // 0: recompute; 1: the port's handler is installed; 2: it is removed.
  virtual void RefreshDeliveryNeed(int Mode);

  // --- Trace (bytes taken and queued) and dispatch log (all under StateLock) ---
  int StartTrace(uint32_t Entries);
  void AddTraceEntry(char Kind, uint8_t Byte);
  int ClearTrace();
  void PauseTrace();
  void ResumeTrace();
  void StopTrace();
  int DumpTrace(const std::string& FileName, bool Append, bool AllHex, bool Hex);
  void StartLog(uint32_t Bytes);
  void AddLogEntry(uint8_t Type, uint8_t SubType, uint32_t DataLength, const void* Data,
                   int32_t Value);
  int ClearLog();
  void PauseLog();
  void ResumeLog();
  void StopLog();
  int DumpLog(const std::string& FileName, bool Append, bool AllHex, bool Hex);

  // --- Device-layer operations (implemented by a concrete dispatcher) ---
  // Extended function (SETDTR, CLRDTR, SETRTS, CLRRTS, ...); returns 0.
  virtual int DeviceEscape(int Function) = 0;
  // 0 = output, 1 = input; 0 or a negated platform error.
  virtual int DevicePurge(int Queue) = 0;
  // Clears and returns the device error bits and fills Status; Status.cbOutQue is the output
  // ring's count (OutputRingCount), not the driver's.
  virtual uint32_t DeviceErrors(COMSTAT& Status) = 0;
  // Called with −1 after a failed read.
  virtual void DeviceErrorHook(int Code) = 0;
  // 0 or −1.
  virtual int DeviceGetState(DCB& Settings) = 0;
  // Reads up to Count bytes that have already arrived; returns the number read (negative on
  // failure).
  virtual int DeviceRead(uint8_t* Buffer, uint32_t Count) = 0;
  // 0 or a negated platform error.
  virtual int DeviceSetState(DCB& Settings) = 0;
  // Appends to the output ring (CopyIntoOutputRing) and wakes the output thread; returns
  // Count. Called with OutputLock held; the room has been checked.
  virtual int DeviceWrite(const uint8_t* Data, uint32_t Count) = 0;
  virtual bool DeviceWaitEvent(DWORD& Mask, LPOVERLAPPED Overlapped) = 0;
  virtual bool DeviceSizeQueues(uint32_t InSize, uint32_t OutSize) = 0;
  // Stops the threads if they are active and frees the dispatch buffer and output ring once
  // no worker thread uses them (a dispatch thread that outlived StopThreads frees them as it
  // ends; the destructor frees whatever is left). Called while another thread is stopping the
  // workers, it waits for that stop to end (unless it runs on the worker thread that is ending),
  // so a caller from outside the workers always returns with the threads stopped.
  virtual void ReleaseBuffers();
  // Creates and starts the worker threads (NoteThreadStarting for each before it runs).
  virtual void StartThreads() = 0;
  // Stops the worker threads and closes the signals (CloseSignals). Must not hold a dispatcher
  // lock while it waits or pumps.
  virtual void StopThreads() = 0;
  // The device handle as an integer, or a negative code (−8 out of memory; otherwise the
  // platform's last error tells why).
  virtual LONG_PTR DeviceOpen(const std::string& Name, uint32_t InSize, uint32_t OutSize) = 0;
  // Closes the device (and tells running threads to stop); sets DeviceHandle to −1; 0 or −1.
  virtual int DeviceClose() = 0;
  virtual int DeviceYield() = 0;
  // The modem lines now (MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON; GetCommModemStatus),
  // 0 when they cannot be read.
  virtual DWORD DeviceModemStatus() = 0;
  // Raises the worker threads' priorities by Boost levels above normal.
  virtual void ApplyPriorityBoost(uint8_t Boost);

  // --- Thread support ---
  // The last act of each worker thread (runs on that thread).
  void ThreadFinished(TApdThreadKind Thread);
  // One pass of the dispatch thread: status, input, triggers, timers (dispatch thread).
  void DispatchPass();
  bool FillDispatchBuffer();
  bool ScanReceived();
  bool PollStatusTriggers();
  bool PollTimerTriggers();
  void RefreshModemStatus();
  void RefreshLineErrors();
  // Hands one trigger event to every receiver; false when the pass should stop (close
  // pending, or an avail event whose announced bytes were not all taken).
  bool DeliverTrigger(UINT Message, WPARAM wParam, WORD Data);
  // How long the dispatch thread may wait for a device event before its next pass: Interval
  // while something can become due without one (an active timer trigger, an armed status
  // trigger, a full dispatch buffer or input left in the driver, which only a timed pass reads,
  // or no receive thread to report events), else INFINITE. Dispatch thread (and tests).
  DWORD PassInterval(DWORD Interval);

protected:
  // The destroy sequence; every concrete dispatcher's destructor calls it first. Releases or
  // closes, processes this thread's window messages until no worker thread runs, joins the
  // threads and leaves the registry. Idempotent.
  void Shutdown();
  // Joins the worker threads' thread objects; called by Shutdown once none is running.
  virtual void JoinThreads() {}
  // Runs a method handler on the user-interface thread while the dispatch thread waits; the
  // default calls it directly.
  virtual void RunSynchronized(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam,
                               LPARAM lParam);
  // Sets one worker thread's priority to normal + LevelsAboveNormal; the default does nothing.
  virtual void SetWorkerPriority(TApdThreadKind Thread, int LevelsAboveNormal);
  // True where the device drives RTS itself in RS-485 mode (RTS toggle control).
  virtual bool HasAutoRTSControl() const { return true; }
  // Makes a dispatch thread that may be waiting without a limit look at PassInterval again
  // (a trigger was armed). Any thread; the default does nothing.
  virtual void WakeDispatchThread() {}

  // For StartThreads: marks a worker thread as existing and counts it as running.
  void NoteThreadStarting(TApdThreadKind Thread);
  bool ThreadExists(TApdThreadKind Thread) const { return ThreadPresent[Thread].load(); }
  // Closes the six signals that are open. Idempotent.
  void CloseSignals();
  // For DeviceWrite: copies Count bytes in at the output ring's head. Hold OutputLock.
  void CopyIntoOutputRing(const uint8_t* Data, uint32_t Count);
  // Bytes in the output ring not yet written. Hold OutputLock.
  uint32_t OutputRingCount() const;

  // --- Locks (order: InputLock, OutputLock, StateLock) ---
  std::recursive_mutex InputLock;   // dispatch buffer positions, full flag, peek counts
  std::recursive_mutex OutputLock;  // output ring and the device status record
  std::recursive_mutex StateLock;   // everything else: settings, triggers, handlers, trace, log

  // --- Device ---
  std::atomic<LONG_PTR> DeviceHandle{-1};  // the open device; −1 closed (UI thread, DeviceClose)
  COMSTAT ComStatus{};                     // last device status record (OutputLock)
  DCB DCBShadow{};                         // settings shadow: refresh, change, write (StateLock)
  uint32_t InQueueSize = 0;                // driver input queue size given at open (StateLock)
  uint32_t OutQueueSize = 0;               // output ring size given at open (OutputLock)

  // --- Output ring (OutputLock) ---
  std::unique_ptr<uint8_t[]> OutBuff;      // the ring, OutQueueSize bytes
  uint32_t OutHead = 0;                    // next position to write into
  uint32_t OutTail = 0;                    // next position to send
  bool OutFull = false;                    // head == tail because the ring is full
  std::atomic<bool> OutputSent{false};     // bytes queued since the output-sent check

  // --- Worker threads and their signals ---
  // The six signals: created by OpenPort before the threads start, closed once they have
  // stopped (CloseSignals); the threads use them only in between.
  HANDLE DeviceEventSignal = nullptr;      // receive -> dispatch: a device event (auto)
  HANDLE PassDoneSignal = nullptr;         // dispatch -> receive: pass input part done (auto)
  HANDLE HandshakeSignal = nullptr;        // thread started / flush honoured / stopped (auto)
  HANDLE OutputReadySignal = nullptr;      // DeviceWrite -> output thread (auto)
  HANDLE WriteCompleteSignal = nullptr;    // overlapped write completed (manual)
  HANDLE OutputFlushSignal = nullptr;      // purge/stop -> output thread (auto)
  std::atomic<DWORD> EventBits{0};         // last device event bits (receive thread writes)
  std::atomic<bool> RingEventSeen{false};  // a ring event came (receive thread sets)
  std::atomic<bool> KillThreads{false};    // the worker threads are to end
  std::atomic<bool> ClosePending{false};   // ClosePort ran inside a delivery
  std::atomic<bool> ThreadsActive{false};  // worker threads started and not all ended
  std::atomic<bool> ReleaseOnThreadExit{false};  // the dispatch thread releases as it ends
  std::atomic<int32_t> RunningThreadCount{0};    // worker threads still running
  std::array<std::atomic<bool>, 3> ThreadPresent{};  // each worker thread's reference
  uint8_t PriorityBoost = 0;               // levels above normal for the threads (StateLock)
  bool RS485Mode = false;                  // RS-485 transmit control (StateLock)
  uint16_t BaseAddress = 0;                // UART base address for RS-485 (StateLock)

private:
  int FailOpen(int Code);
  int ArmTimerLocked(int Handle, int Ticks, bool Activate);
  int ArmStatusLocked(int Handle, int Value, bool Activate);
  void ReinstallLocked(const TriggerSaveRecord& Save);  // StateLock held
  int ApplySettings();
  int NextTriggerHandle();
  bool TriggerHandleInUse(int Handle) const;
  void DropAllTriggers();
  void PurgeRemovedHandlers();
  void EndDelivery();
  void ClearStatusHits();
  void FreeBuffersIfUnused();
  void StopThreadsOnce();
  // Handles the calling thread's window messages until Done() holds or TimeoutMs passed
  // (0: no limit); wakes when a worker thread or a stop ends. False on time-out. Holds no lock
  // while it pumps.
  bool WaitPumping(const std::function<bool()>& Done, uint64_t TimeoutMs);
  void WaitForWorkerThreads();
  void Unregister();
  uint32_t RawBytesWaiting() const;
  int PeekLocked(uint8_t& Byte, uint32_t N) const;
  void LogEntry(uint8_t Type, uint8_t SubType, int32_t Value, uint32_t DataLength = 0,
                const void* Data = nullptr);
  void LogAppend(const uint8_t* Piece, uint32_t Length);
  void LogDiscardOldest();
  bool LogReadEntry(uint8_t* Header, uint8_t* Data);

  // --- Identity ---
  TApdCustomComPort* const OwnerComponent;  // the component that created it, or none (fixed)
  int DispatcherHandle = -1;               // registry slot; high word of lParam (fixed)
  std::string DeviceName;                  // "COMn" for the log header (StateLock)
  uint32_t OptionWord = 0;                 // option bits the component sets (StateLock)
  bool ShutdownDone = false;               // Shutdown has run (user-interface thread)

  // --- Line and modem state (StateLock unless atomic) ---
  std::atomic<uint32_t> LineErrorWord{0};  // device error bits since last taken
  uint32_t ModemStatus = 0;                // shadow: line states and change bits
  uint32_t LastBaud = 115200;              // baud of the last applied settings
  bool DTRState = false;                   // DTR raised
  bool DTRFlow = false;                    // DTR under hardware flow control
  bool RTSState = false;                   // RTS raised
  bool RTSFlow = false;                    // RTS under hardware flow control

  // --- Dispatch buffer (InputLock; contents written only by the dispatch thread) ---
  std::unique_ptr<uint8_t[]> DBuff;        // the ring of received bytes
  uint32_t DBuffHead = 0;                  // next position to fill
  uint64_t DBuffFilled = 0;                // bytes put into the buffer since the open
  uint32_t DBuffTail = 0;                  // read position
  bool DBuffFull = false;                  // head == read position because the ring is full
  bool DriverInputLeft = false;            // the last fill left bytes in the driver
  bool InAvailDelivery = false;            // reads only peek ahead (avail or data delivery)
  uint32_t PeekCount = 0;                  // bytes read ahead by the current handler
  uint32_t PeekMax = 0;                    // most bytes read ahead by any handler

  // --- Scanning (dispatch thread only; OpenPort sets them before the threads start) ---
  // Marks count bytes since the open (a buffer position is the count mod 8192), so a batch
  // that brings the head round to the same position still counts as new bytes.
  uint64_t ScanMark = 0;                   // bytes up to which data triggers were matched
  uint64_t NotifyMark = 0;                 // scan mark at the last avail delivery
  bool StatusHit = false;                  // a status trigger fired in this pass

  // --- Triggers and receivers (StateLock) ---
  int32_t AvailThreshold = 0;              // data-available threshold, 0 = off
  uint32_t TriggerHandleCounter = 1;       // next handle / 8 while below 4096
  std::vector<TTimerTrigger> TimerTriggers;
  std::vector<TDataTrigger> DataTriggers;
  std::vector<TStatusTrigger> StatusTriggers;
  std::vector<TWindowHandler> WindowHandlers;  // the component's window first
  std::vector<TProcHandler> ProcHandlers;
  std::vector<TMethodHandler> MethodHandlers;
  bool PortHandlerInstalled = false;       // the component has a trigger event assigned
  bool DeliveryNeeded = false;             // some receiver wants trigger events
  bool HandlerRemovalPending = false;      // handlers were marked removed during a delivery
  std::atomic<bool> InDelivery{false};     // DeliverTrigger is running (dispatch thread)

  // --- Ending the threads ---
  std::atomic<std::thread::id> StopOwner{};  // the thread running StopThreads, or none
  std::mutex ThreadEndMutex;               // with ThreadEnded: wakes the waits for a worker
  std::condition_variable ThreadEnded;     // thread's end and for a stop's end

  // --- Trace (StateLock; TraceOn mirrored for a lock-free check) ---
  std::atomic<bool> TraceOn{false};        // recording bytes
  std::unique_ptr<uint8_t[]> TraceBuff;    // (kind, byte) pairs
  uint32_t TraceEntries = 0;               // ring size in entries
  uint32_t TraceIndex = 0;                 // next entry
  bool TraceWrapped = false;               // the ring has been filled at least once

  // --- Dispatch log (StateLock; LogOn mirrored for a lock-free check) ---
  std::atomic<bool> LogOn{false};          // recording events
  std::unique_ptr<uint8_t[]> LogBuff;      // byte ring of entries (16-byte header + data)
  uint32_t LogSize = 0;                    // ring size in bytes
  uint32_t LogHead = 0;                    // next byte to write
  uint32_t LogTail = 0;                    // oldest byte
  uint32_t LogFree = 0;                    // free bytes
  std::unique_ptr<uint8_t[]> LogScratch;   // one entry's data, read back for a dump
  uint64_t TimeBase = 0;                   // millisecond clock at open; log times count from it
};
