// The dispatcher: the engine under the serial port component. TApdBaseDispatcher owns the
// dispatch buffer (received bytes, DispatchBuffer), the output ring, the trigger tables and the
// event receivers; it decides when a trigger is due and hands trigger events to the receivers.
// Every contact with the device goes through the abstract device-layer operations, which a
// concrete dispatcher implements together with its worker threads and their signals. Also
// here: the process-wide registry of dispatchers, and each dispatcher's byte trace and
// dispatch log (DispatchLog).
//
// Threads: the user-interface thread calls every operation of the public interface; the
// dispatch thread runs DispatchPass and DeliverTrigger; the receive and output threads touch
// only the output ring, the device status and the event bits.
//
// Locks: InputLock before OutputLock before StateLock when nested; all three are re-entrant
// for their owner. None is held while a handler runs, while the calling thread pumps messages
// or while it waits for a worker thread. A function that needs one held takes its guard
// (InputGuard, OutputGuard, StateGuard) as a parameter.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/winapi.h"
#include "serial/AdExcept.h"
#include "serial/AwUserBuffer.h"
#include "serial/AwUserHandlers.h"
#include "serial/AwUserLog.h"
#include "serial/AwUserOutputRing.h"
#include "serial/AwUserTrace.h"
#include "serial/AwUserTypes.h"
#include "serial/ByteRing.h"

class TApdCustomComPort;

class TApdBaseDispatcher;

// The registry of dispatchers: one process-wide list whose slot index is a dispatcher's
// handle. The lock is re-entrant; the component's window procedure holds it while it finds a
// dispatcher and delivers its event, so the dispatcher cannot vanish under it.
std::recursive_mutex& DispatcherRegistryLock();
// The dispatcher with this handle, or nullptr (bad handle, empty slot).
TApdBaseDispatcher* DispatcherFromHandle(int Handle);
// Number of slots (empty ones inside the list included).
int DispatcherRegistryCount();

class TApdBaseDispatcher {
public:
  explicit TApdBaseDispatcher(TApdCustomComPort* Owner);
  TApdBaseDispatcher(const TApdBaseDispatcher&) = delete;
  TApdBaseDispatcher& operator=(const TApdBaseDispatcher&) = delete;
  // A concrete dispatcher's destructor must call Shutdown() first (the steps need its device
  // operations) and close its signals; this one only leaves the registry.
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
  // Inside a delivery a read takes the announced bytes lock-free (DispatchBuffer's lease).
  int ReadByte(uint8_t& Byte) {
    if (!Trace.On() && Input.TryLeasedRead(Byte)) return 0;
    return ReadByteLocked(Byte);
  }
  // Count bytes in one piece, all or nothing: Count, or −3005 when fewer wait (inside a
  // delivery: fewer of the announced bytes are left to read).
  int GetBlock(uint8_t* Buffer, uint32_t Count);
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
  virtual void RefreshDeliveryNeed(TDeliveryNeed Mode);

  // --- Trace (bytes taken and queued) and dispatch log (all under StateLock) ---
  int StartTrace(uint32_t Entries);
  void AddTraceEntry(TTraceKind Kind, uint8_t Byte);
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
  // 0 or a negated platform error.
  virtual int DevicePurge(TPurgeQueue Queue) = 0;
  // Clears and returns the device error bits. With Status, also fills the device status record
  // (the driver's input count; cbOutQue is the output ring's count, not the driver's); without,
  // the device is not asked for its queues.
  virtual uint32_t DeviceErrors(COMSTAT* Status) = 0;
  // 0 or −1.
  virtual int DeviceGetState(DCB& Settings) = 0;
  // Reads up to Count bytes that have already arrived, without waiting; returns the number
  // read (negative on failure) and tells what stayed in the driver and the line errors met.
  virtual int DeviceRead(uint8_t* Buffer, uint32_t Count, TArrivedInput& Status) = 0;
  // 0 or a negated platform error.
  virtual int DeviceSetState(DCB& Settings) = 0;
  // Appends to the output ring (CopyIntoOutputRing); returns Count. The room has been checked.
  // The caller then wakes the output thread (WakeOutputThread) once OutputLock is free.
  virtual int DeviceWrite(const OutputGuard& Held, const uint8_t* Data, uint32_t Count) = 0;
  virtual bool DeviceWaitEvent(DWORD& Mask, LPOVERLAPPED Overlapped) = 0;
  virtual bool DeviceSizeQueues(uint32_t InSize, uint32_t OutSize) = 0;
  // Stops the threads if they are active and frees the output ring and releases the dispatch
  // buffer once no worker thread uses them (a dispatch thread that outlived StopThreads
  // releases them as it ends; the destructor frees whatever is left). Called while another
  // thread is stopping the workers, it waits for that stop to end (unless it runs on the worker
  // thread that is ending), so a caller from outside the workers returns with them stopped.
  virtual void ReleaseBuffers();
  // Creates and starts the worker threads (NoteThreadStarting for each before it runs).
  virtual void StartThreads() = 0;
  // Stops the worker threads and closes the signals. Must not hold a dispatcher lock while it
  // waits or pumps.
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
  // trigger, no room left in the dispatch buffer or input left in the driver, which only a
  // timed pass reads, or no receive thread to report events), else INFINITE. Dispatch thread
  // (and tests).
  DWORD PassInterval(DWORD Interval);

protected:
  // The destroy sequence; every concrete dispatcher's destructor calls it first. Releases or
  // closes, processes this thread's window messages until no worker thread runs, joins the
  // threads and leaves the registry. Idempotent.
  void Shutdown();
  // Joins the worker threads' thread objects; called by Shutdown once none is running.
  virtual void JoinThreads() {}
  // The worker threads' signals: made by OpenPort before the device is opened (false when they
  // cannot be: out of memory), closed once the threads have stopped. Idempotent.
  virtual bool CreateSignals() = 0;
  virtual void CloseSignals() = 0;
  // The input part of a dispatch pass is done: the receive thread may wait for the next event.
  virtual void SignalPassDone() = 0;
  // Runs a method handler on the user-interface thread while the dispatch thread waits; the
  // default calls it directly. False when it did not return in time.
  virtual bool RunSynchronized(const TApdNotifyMethod& Method, UINT Msg, WPARAM wParam,
                               LPARAM lParam);
  // Sets one worker thread's priority to normal + LevelsAboveNormal; the default does nothing.
  virtual void SetWorkerPriority(TApdThreadKind Thread, int LevelsAboveNormal);
  // Makes a dispatch thread that may be waiting without a limit look at PassInterval again
  // (a trigger was armed). Any thread; the default does nothing.
  virtual void WakeDispatchThread() {}
  // Output was queued into an empty ring: an idle output thread is to write it. Called without
  // OutputLock, so the woken thread does not at once wait for it. The default does nothing.
  virtual void WakeOutputThread() {}

  // For StartThreads: marks a worker thread as existing and counts it as running.
  void NoteThreadStarting(TApdThreadKind Thread);
  bool ThreadExists(TApdThreadKind Thread) const { return ThreadPresent[Thread].load(); }
  // Handles the calling thread's window messages until Done() holds or TimeoutMs passed
  // (0: no limit); wakes when a worker thread or a stop ends, and every few milliseconds. False
  // on time-out. Must be called with no dispatcher lock held.
  bool WaitPumping(const std::function<bool()>& Done, uint64_t TimeoutMs);
  // Wakes WaitPumping (a worker thread has ended, a stop is over). Any thread.
  void NotifyThreadEnded();

  // --- Output ring (OutputLock; the output thread writes from it) ---
  void CopyIntoOutputRing(const OutputGuard&, const uint8_t* Data, uint32_t Count);
  // Bytes in the output ring not yet written.
  uint32_t OutputRingCount(const OutputGuard&) const;
  // Empties the ring (a purge): a write in flight then retires nothing.
  void ClearOutputRing(const OutputGuard&);
  // The output thread's pieces. The next block to write, made contiguous when it wraps so all
  // pending bytes go out in one write; false when the ring is empty. Then the first Written
  // bytes of that block have left (nothing when the ring was purged meanwhile).
  bool NextOutputBlock(uint32_t& Offset, uint32_t& Length, uint64_t& Generation);
  void RetireOutput(uint32_t Written, uint64_t Generation);
  const uint8_t* OutputBytes(uint32_t Offset) const { return OutRing.Bytes(Offset); }

  // --- Locks (order: InputLock, OutputLock, StateLock) ---
  std::recursive_mutex InputLock;   // dispatch buffer positions and read-ahead
  std::recursive_mutex OutputLock;  // output ring
  std::recursive_mutex StateLock;   // everything else: settings, triggers, handlers, trace, log

  // --- Device ---
  std::atomic<LONG_PTR> DeviceHandle{-1};  // the open device; −1 closed (UI thread, DeviceClose)
  DCB DCBShadow{};                         // settings shadow: refresh, change, write (StateLock)
  uint32_t InQueueSize = 0;                // driver input queue size given at open (StateLock)
  uint32_t OutQueueSize = 0;               // output ring size given at open (OutputLock)
  std::atomic<bool> OutputSent{false};     // bytes queued since the output-sent check

  // --- Worker threads (their signals belong to the concrete dispatcher) ---
  std::atomic<DWORD> EventBits{0};         // last device event bits (receive thread writes)
  std::atomic<bool> RingEventSeen{false};  // a ring event came (receive thread sets)
  std::atomic<bool> KillThreads{false};    // the worker threads are to end
  std::atomic<bool> ClosePending{false};   // ClosePort ran inside a delivery
  std::atomic<bool> ThreadsActive{false};  // worker threads started and not all ended
  std::atomic<bool> ReleaseOnThreadExit{false};  // the dispatch thread releases as it ends
  std::atomic<int32_t> RunningThreadCount{0};    // worker threads still running
  std::array<std::atomic<bool>, 3> ThreadPresent{};  // each worker thread's reference
  uint8_t PriorityBoost = 0;               // levels above normal for the threads (StateLock)
  bool RS485Mode = false;                  // RS-485 transmit control by the device (StateLock)

private:
  int ReadByteLocked(uint8_t& Byte);
  void TraceReceived(const uint8_t* Bytes, uint32_t Count);
  int FailOpen(int Code);
  void ResetForOpen(uint32_t InSize, uint32_t OutSize);
  int ArmTimerLocked(int Handle, int Ticks, bool Activate);
  int ArmStatusLocked(int Handle, int Value, bool Activate);
  void ReinstallLocked(const StateGuard& Held, const TriggerSaveRecord& Save);
  int ApplySettings();
  int NextTriggerHandle(const StateGuard& Held);
  bool TriggerHandleInUse(const StateGuard& Held, int Handle) const;
  void DropAllTriggers();
  // Mirrors whether timer and status triggers exist, for the passes' lock-free first look.
  void NoteTriggerLists(const StateGuard& Held);
  // Serves one receiver list in order; false when the port was closed from inside a handler.
  template <typename Handler>
  bool ServeList(const HandlerList<Handler>& List, UINT Message, WPARAM wParam, LPARAM lParam);
  bool CallHandler(const TWindowHandler& Handler, UINT Message, WPARAM wParam, LPARAM lParam);
  bool CallHandler(const TProcHandler& Handler, UINT Message, WPARAM wParam, LPARAM lParam);
  bool CallHandler(const TMethodHandler& Handler, UINT Message, WPARAM wParam, LPARAM lParam);
  void EndDelivery(bool Consumed);
  void ClearStatusHits();
  bool StatusLoop();
  void FreeBuffersIfUnused();
  void StopThreadsOnce();
  void WaitForWorkerThreads();
  void Unregister();
  uint32_t ReadArrived(const InputGuard& Held, uint8_t* Into, uint32_t Count, TArrivedInput& Status);
  void LogEntry(uint8_t Type, uint8_t SubType, int32_t Value, uint32_t DataLength = 0,
                const void* Data = nullptr);

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

  // --- Dispatch buffer (InputLock; its read lease is lock-free, see AwUserBuffer.h) ---
  DispatchBuffer Input;
  bool DriverInputLeft = false;            // the last fill left bytes in the driver (InputLock)
  bool InputBlocked = false;               // the last fill found no room (InputLock)

  // --- Output ring (OutputLock) ---
  OutputRing OutRing;                      // OutQueueSize bytes

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
  std::atomic<bool> HaveTimerTriggers{false};   // TimerTriggers not empty (written under StateLock)
  std::atomic<bool> HaveStatusTriggers{false};  // StatusTriggers not empty (as above)
  HandlerList<TWindowHandler> WindowHandlers;  // the component's window first
  HandlerList<TProcHandler> ProcHandlers;
  HandlerList<TMethodHandler> MethodHandlers;
  bool PortHandlerInstalled = false;       // the component has a trigger event assigned
  bool DeliveryNeeded = false;             // some receiver wants trigger events
  bool HandlerRemovalPending = false;      // handlers were marked removed during a delivery
  std::atomic<bool> InDelivery{false};     // DeliverTrigger is running (dispatch thread)

  // --- Ending the threads ---
  std::atomic<std::thread::id> StopOwner{};  // the thread running StopThreads, or none
  std::mutex ThreadEndMutex;               // with ThreadEnded: wakes WaitPumping
  std::condition_variable ThreadEnded;

  // --- Trace (StateLock) ---
  ByteTrace Trace;

  // --- Dispatch log (StateLock) ---
  DispatchLog Log;
};
