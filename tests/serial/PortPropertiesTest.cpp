// The port component's properties: defaults, what a setter stores while the port is closed
// (thresholds, clamps, ignored values), and what reaches the device while it is open (through
// a fake device made by the DispatcherFactory).
#include <gtest/gtest.h>

#include <QVariant>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <functional>
#include <string>

#include "platform/hooks.h"
#include "serial/AdExcept.h"
#include "serial/AdPort.h"
#include "tests/serial/FakeDispatcher.h"
#include "tests/serial/PortTestSupport.h"

namespace {

struct PropertyCase {
  const char* name;
  std::function<void(TApdComPort&)> act;
  std::function<void(TApdComPort&)> check;
};

void PrintTo(const PropertyCase& c, std::ostream* os) { *os << c.name; }

class ClosedProperty : public ::testing::TestWithParam<PropertyCase> {};

TEST_P(ClosedProperty, StoresAsExpected) {
  QObject owner;
  TApdComPort port(&owner);
  GetParam().act(port);
  GetParam().check(port);
  EXPECT_EQ(port.PortState(), psClosed);
  EXPECT_EQ(port.GetDispatcher(), nullptr);
}

const PropertyCase closedCases[] = {
    {"HardwareFlowSetsThresholdsAndLeavesRS485",
     [](TApdComPort& p) {
       p.SetRS485Mode(true);
       p.SetHWFlowOptions({hwfUseRTS});
     },
     [](TApdComPort& p) {
       EXPECT_EQ(p.BufferFull(), 3686);
       EXPECT_EQ(p.BufferResume(), 409);
       EXPECT_FALSE(p.RS485Mode());
     }},
    {"RS485RemovesRTSFlowAndDropsRTS",
     [](TApdComPort& p) {
       p.SetHWFlowOptions({hwfUseRTS, hwfRequireCTS, hwfUseDTR});
       p.SetRS485Mode(true);
     },
     [](TApdComPort& p) {
       EXPECT_EQ(p.HWFlowOptions(), THWFlowOptionSet{hwfUseDTR});
       EXPECT_FALSE(p.RTS());
       EXPECT_TRUE(p.RS485Mode());
     }},
    {"SoftwareFlowSetsThresholds", [](TApdComPort& p) { p.SetSWFlowOptions(swfBoth); },
     [](TApdComPort& p) {
       EXPECT_EQ(p.BufferFull(), 3072);
       EXPECT_EQ(p.BufferResume(), 1024);
     }},
    {"ThresholdsAlreadySetAreKept",
     [](TApdComPort& p) {
       p.SetBufferFull(2000);
       p.SetBufferResume(100);
       p.SetHWFlowOptions({hwfRequireDSR});
     },
     [](TApdComPort& p) {
       EXPECT_EQ(p.BufferFull(), 2000);
       EXPECT_EQ(p.BufferResume(), 100);
     }},
    {"EmptyFlowSetLeavesThresholds", [](TApdComPort& p) { p.SetHWFlowOptions({}); },
     [](TApdComPort& p) { EXPECT_EQ(p.BufferFull(), 0); }},
    {"BufferFullAboveInSize", [](TApdComPort& p) { p.SetBufferFull(5000); },
     [](TApdComPort& p) { EXPECT_EQ(p.BufferFull(), 3686); }},
    {"BufferResumeAboveBufferFull",
     [](TApdComPort& p) {
       p.SetBufferFull(1000);
       p.SetBufferResume(1500);
     },
     [](TApdComPort& p) { EXPECT_EQ(p.BufferResume(), 100); }},
    {"TraceSizeClamped", [](TApdComPort& p) { p.SetTraceSize(5000000); },
     [](TApdComPort& p) { EXPECT_EQ(p.TraceSize(), 4000000u); }},
    {"LogSizeClamped", [](TApdComPort& p) { p.SetLogSize(20000000); },
     [](TApdComPort& p) { EXPECT_EQ(p.LogSize(), 16000000u); }},
    {"TracingDumpStoresOff",
     [](TApdComPort& p) {
       p.SetTracing(tlOn);
       p.SetTracing(tlDump);
     },
     [](TApdComPort& p) { EXPECT_EQ(p.Tracing(), tlOff); }},
    {"TracingOnIsStored", [](TApdComPort& p) { p.SetTracing(tlOn); },
     [](TApdComPort& p) { EXPECT_EQ(p.Tracing(), tlOn); }},
    {"LoggingPauseStoresOff",
     [](TApdComPort& p) {
       p.SetLogging(tlOn);
       p.SetLogging(tlPause);
     },
     [](TApdComPort& p) { EXPECT_EQ(p.Logging(), tlOff); }},
    {"WinsockLayerIgnored", [](TApdComPort& p) { p.SetDeviceLayer(dlWinsock); },
     [](TApdComPort& p) { EXPECT_EQ(p.DeviceLayer(), dlWin32); }},
    {"MSRShadowAlwaysOn", [](TApdComPort& p) { p.SetUseMSRShadow(false); },
     [](TApdComPort& p) { EXPECT_TRUE(p.UseMSRShadow()); }},
    {"FileNamesCutAt255", [](TApdComPort& p) { p.SetTraceName(std::string(300, 'x')); },
     [](TApdComPort& p) { EXPECT_EQ(p.TraceName().size(), 255u); }},
    {"BaudOnlyStored", [](TApdComPort& p) { p.SetBaud(9600); },
     [](TApdComPort& p) { EXPECT_EQ(p.Baud(), 9600); }},
};

INSTANTIATE_TEST_SUITE_P(Port, ClosedProperty, ::testing::ValuesIn(closedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PortDefaults, MatchThePublishedTable) {
  QObject owner;
  TApdComPort p(&owner);
  EXPECT_EQ(p.Baud(), 19200);
  EXPECT_EQ(p.ComNumber(), 0);
  EXPECT_EQ(p.Parity(), pNone);
  EXPECT_EQ(p.DataBits(), 8);
  EXPECT_EQ(p.StopBits(), 1);
  EXPECT_EQ(p.InSize(), 4096);
  EXPECT_EQ(p.OutSize(), 4096);
  EXPECT_TRUE(p.AutoOpen() && p.PromptForPort() && p.DTR() && p.RTS());
  EXPECT_FALSE(p.Open());
  EXPECT_TRUE(p.HWFlowOptions().Empty());
  EXPECT_EQ(p.SWFlowOptions(), swfNone);
  EXPECT_EQ(p.XOnChar(), 17);
  EXPECT_EQ(p.XOffChar(), 19);
  EXPECT_EQ(p.TraceName(), "TALO.TRC");
  EXPECT_EQ(p.LogName(), "TALO.LOG");
  EXPECT_EQ(p.TraceSize(), 10000u);
  EXPECT_EQ(p.TapiMode(), tmAuto);
  EXPECT_EQ(p.CommNotificationLevel(), 10);
  EXPECT_EQ(p.AvailTriggerLength(), 1);
  EXPECT_EQ(p.property("Version").toString(), "v4.06");
  EXPECT_EQ(p.property("Baud").toInt(), 19200);
}

// A port whose dispatchers are fakes; counts the dispatchers made.
struct FakePort {
  QObject owner;
  TApdComPort port{&owner};
  TFakeDispatcher* last = nullptr;
  int made = 0;
  DWORD nextOpenError = 0;
  explicit FakePort(bool withThread = false) {
    port.SetComNumber(3);
    port.SetDispatcherFactory([this, withThread](TApdCustomComPort* owner) {
      auto d = std::make_unique<TFakeDispatcher>(withThread, owner);
      d->FailNextOpen(nextOpenError);
      last = d.get();
      ++made;
      return std::unique_ptr<TApdBaseDispatcher>(std::move(d));
    });
  }
  TFakeDispatcher* fake() { return static_cast<TFakeDispatcher*>(port.GetDispatcher()); }
};

TEST(PortOpen, PassesPathLinesAndSettingsToTheDevice) {
  FakePort f;
  f.port.SetBaud(9600);
  f.port.SetOpen(true);
  ASSERT_TRUE(f.port.Open());
  EXPECT_EQ(f.fake()->OpenedName(), "\\\\.\\COM3");
  EXPECT_EQ(f.fake()->DeviceSettings().BaudRate, 9600u);
  const auto escapes = f.fake()->Escapes();
  EXPECT_NE(std::find(escapes.begin(), escapes.end(), SETDTR), escapes.end());
  EXPECT_NE(std::find(escapes.begin(), escapes.end(), SETRTS), escapes.end());
  EXPECT_NE(f.port.NotifyWindow(), nullptr);

  f.port.SetBaud(4800);  // applied at once while open
  EXPECT_EQ(f.fake()->DeviceSettings().BaudRate, 4800u);
  f.port.SetOpen(false);
  EXPECT_EQ(f.port.GetDispatcher(), nullptr);
  EXPECT_EQ(f.port.NotifyWindow(), nullptr);
}

TEST(PortOpen, DTRUnderHardwareFlowKeepsItsValue) {
  FakePort f;
  f.port.SetHWFlowOptions({hwfUseDTR});
  f.port.SetOpen(true);
  const std::size_t before = f.fake()->Escapes().size();
  f.port.SetDTR(false);
  EXPECT_TRUE(f.port.DTR());
  EXPECT_EQ(f.fake()->Escapes().size(), before);
  f.port.SetRTS(false);  // RTS is not under flow control
  EXPECT_FALSE(f.port.RTS());
  EXPECT_EQ(f.fake()->Escapes().back(), CLRRTS);
}

struct OpenFailure {
  const char* name;
  DWORD error;
  int code;  // the EAPDException code, or 0 for a framework error
  std::string message;
};
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.name; }

class PortOpenFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(PortOpenFailure, RaisesAndLeavesNothingBehind) {
  FakePort f;
  f.nextOpenError = GetParam().error;
  int told = 0;
  struct Counter {
    int* n;
    void Told(QObject*, bool) { ++*n; }
  } counter{&told};
  f.port.AddPortUser(TPortCallback(&counter, &Counter::Told));
  const int registryBefore = DispatcherRegistryCount();
  try {
    f.port.SetOpen(true);
    FAIL() << "no exception";
  } catch (const EAPDException& e) {
    EXPECT_EQ(e.ErrorCode, GetParam().code);
    EXPECT_EQ(e.Message(), GetParam().message);
  } catch (const platform::Exception& e) {
    EXPECT_EQ(GetParam().code, 0);
    EXPECT_EQ(e.Message(), GetParam().message);
  }
  EXPECT_FALSE(f.port.Open());
  EXPECT_EQ(f.port.PortState(), psClosed);
  EXPECT_EQ(f.port.GetDispatcher(), nullptr);
  EXPECT_EQ(f.port.NotifyWindow(), nullptr);
  EXPECT_EQ(told, 0);
  EXPECT_LE(DispatcherRegistryCount(), registryBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Port, PortOpenFailure,
    ::testing::Values(OpenFailure{"Busy", ERROR_ACCESS_DENIED, ecAlreadyOpen, "ie_Open - device already open"},
                      OpenFailure{"Missing", ERROR_FILE_NOT_FOUND, ecBadId, "ie_BadId - Specified comport doesn't exist"},
                      OpenFailure{"MissingPath", ERROR_PATH_NOT_FOUND, ecBadId, "ie_BadId - Specified comport doesn't exist"},
                      OpenFailure{"OutOfMemory", ERROR_NOT_ENOUGH_MEMORY, 0, "Out of memory"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortOpen, NoPortNumberWithoutPromptFailsAtOnce) {
  QObject owner;
  TApdComPort port(&owner);
  int prompted = 0;
  platform::SetPromptForPortHook([&](int&) {
    ++prompted;
    return false;
  });
  port.SetPromptForPort(false);
  try {
    port.SetOpen(true);
    FAIL() << "no exception";
  } catch (const ENoPortSelected& e) {
    EXPECT_EQ(e.Message(), "The ComNumber property of the TApdComPort has not been set");
  }
  EXPECT_EQ(prompted, 0);
  port.SetPromptForPort(true);
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);  // the prompt was cancelled
  EXPECT_EQ(prompted, 1);
  EXPECT_EQ(port.ComNumber(), 0);
  platform::SetPromptForPortHook(nullptr);
}

TEST(PortOpen, ThePromptedNumberIsUsed) {
  FakePort f;
  f.port.SetComNumber(0);
  platform::SetPromptForPortHook([](int& n) {
    n = 12;
    return true;
  });
  f.port.SetOpen(true);
  platform::SetPromptForPortHook(nullptr);
  EXPECT_EQ(f.port.ComNumber(), 12);
  EXPECT_EQ(f.fake()->OpenedName(), "\\\\.\\COM12");
}

TEST(PortOperations, AutoOpenDecidesWhetherAClosedPortOpens) {
  FakePort f;
  f.port.SetAutoOpen(false);
  EXPECT_THROW(f.port.ReadChar(), ECommNotOpen);
  EXPECT_THROW(f.port.SendText("x"), ECommNotOpen);
  // The queries never open the port.
  EXPECT_EQ(f.port.InputCount(), 0);
  EXPECT_FALSE(f.port.CtsState());
  EXPECT_EQ(f.port.LastLineError(), 0);
  f.port.DropTrigger(8);
  EXPECT_EQ(f.made, 0);

  f.port.SetAutoOpen(true);
  f.port.PurgeInput();
  f.port.SendText("!g01");
  EXPECT_EQ(f.made, 1);
  EXPECT_TRUE(f.port.Open());
  EXPECT_EQ(f.fake()->TakeWritten(), "!g01");
  f.port.SendText("");
  EXPECT_EQ(f.fake()->TakeWritten(), "");
  try {
    f.port.ReadChar();
    FAIL() << "no exception";
  } catch (const EBufferIsEmpty& e) {
    EXPECT_EQ(e.Message(), "Buffer is empty");
  }
  EXPECT_TRUE(f.port.Open());  // a failed operation leaves the port open
}

TEST(PortTriggers, HandlesStayValidAndUniqueAcrossAReopen) {
  FakePort f;
  f.port.SetOpen(true);
  const int timer = f.port.NewTimerTrigger();
  const int status = f.port.NewStatusTrigger(5);
  f.port.SetOpen(false);
  f.port.SetOpen(true);
  f.port.ArmTimerTrigger(static_cast<uint16_t>(timer), 2, true);   // still known
  f.port.ArmStatusTrigger(static_cast<uint16_t>(status), 0, true);
  const int fresh = f.port.NewTimerTrigger();
  EXPECT_NE(fresh & ~7, timer & ~7);
  EXPECT_NE(fresh & ~7, status & ~7);
  EXPECT_THROW(f.port.NewStatusTrigger(6), EBadArgument);
  EXPECT_THROW(f.port.ArmTimerTrigger(static_cast<uint16_t>(status), 1, true), EBadTriggerHandle);
}

TEST(PortTriggers, MovingAnOpenPortKeepsItsTriggers) {
  FakePort f;
  f.port.SetOpen(true);
  const int timer = f.port.NewTimerTrigger();
  f.port.SetComNumber(7);
  EXPECT_TRUE(f.port.Open());
  EXPECT_EQ(f.made, 2);
  EXPECT_EQ(f.fake()->OpenedName(), "\\\\.\\COM7");
  EXPECT_NO_THROW(f.port.ArmTimerTrigger(static_cast<uint16_t>(timer), 1, true));
}

// Port users are told from the last registered to the first; the closing notice reaches only
// those registered for it.
struct UserLog {
  std::vector<std::string>* log;
  std::string name;
  void Plain(QObject*, bool opening) { log->push_back(name + (opening ? " opened" : " closed")); }
  void Ex(QObject*, TApdCallbackType kind) { log->push_back(name + " ex" + std::to_string(kind)); }
  void PortOpen(QObject*) { log->push_back("OnPortOpen"); }
  void PortClose(QObject*) { log->push_back("OnPortClose"); }
  void Avail(QObject*, uint16_t count) { log->push_back("avail " + std::to_string(count)); }
};

TEST(PortUsers, NotifiedInReverseOrderAroundOpenAndClose) {
  std::vector<std::string> log;
  UserLog a{&log, "a"}, b{&log, "b"};
  FakePort f;
  f.port.AddPortUser(TPortCallback(&a, &UserLog::Plain));
  f.port.AddPortUserEx(TPortCallbackEx(&b, &UserLog::Ex));
  f.port.SetOnPortOpen(TNotifyEvent(&a, &UserLog::PortOpen));
  f.port.SetOnPortClose(TNotifyEvent(&a, &UserLog::PortClose));
  f.port.SetOpen(true);
  f.port.SetOpen(false);
  EXPECT_EQ(log, (std::vector<std::string>{"b ex0", "a opened", "OnPortOpen", "b ex1", "b ex2", "a closed",
                                           "OnPortClose"}));
}

TEST(PortUsers, RemovalMatchesTheCallbackCodeOnly) {
  std::vector<std::string> log;
  UserLog a{&log, "a"}, b{&log, "b"};
  FakePort f;
  f.port.AddPortUser(TPortCallback(&a, &UserLog::Plain));
  f.port.AddPortUserEx(TPortCallbackEx(&a, &UserLog::Ex));
  f.port.AddPortUser(TPortCallback(&b, &UserLog::Plain));
  f.port.RemovePortUser(TPortCallback(&b, &UserLog::Plain));
  ASSERT_EQ(f.port.PortUserCount(), 1);
  f.port.SetOpen(true);
  EXPECT_EQ(log, std::vector<std::string>{"a ex0"});
}

TEST(PortAssign, CopiesSettingsAndHandlersButNotTheOpenState) {
  std::vector<std::string> log;
  UserLog a{&log, "a"};
  FakePort f;
  f.port.SetBaud(9600);
  f.port.SetHWFlowOptions({hwfUseRTS});
  f.port.SetOnTriggerAvail(TTriggerAvailEvent(&a, &UserLog::Avail));
  f.port.SetOpen(true);
  const int timer = f.port.NewTimerTrigger();

  QObject owner;
  TApdComPort copy(&owner);
  copy.Assign(&f.port);
  EXPECT_FALSE(copy.Open());
  EXPECT_EQ(copy.ComNumber(), 3);
  EXPECT_EQ(copy.Baud(), 9600);
  EXPECT_EQ(copy.BufferFull(), 3686);
  EXPECT_TRUE(copy.OnTriggerAvail() == f.port.OnTriggerAvail());
  // The copy's first open brings the source's triggers along.
  copy.SetDispatcherFactory([](TApdCustomComPort* owner) {
    return std::unique_ptr<TApdBaseDispatcher>(std::make_unique<TFakeDispatcher>(false, owner));
  });
  copy.SetOpen(true);
  EXPECT_NO_THROW(copy.ArmTimerTrigger(static_cast<uint16_t>(timer), 1, true));
}

}  // namespace

namespace {

struct AvailCounter {
  TApdCustomComPort* port = nullptr;
  int events = 0;
  bool closeInside = false;
  bool openInside = false;
  void Avail(QObject*, uint16_t) {
    ++events;
    if (closeInside) {
      port->SetOpen(false);
      openInside = port->Open();
    }
  }
};

// Waits, without handling any message, until the dispatch thread is blocked delivering to this
// thread's window.
bool DeliveryInFlight(TApdBaseDispatcher* d) {
  for (int i = 0; i < 5000 && !d->IsInDelivery(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return d->IsInDelivery();
}

TEST(PortClose, FromOutsideAnEventWhileADeliveryIsInFlightClosesAtOnce) {
  AvailCounter counter;
  FakePort f(true);
  counter.port = &f.port;
  f.port.SetOnTriggerAvail(TTriggerAvailEvent(&counter, &AvailCounter::Avail));
  f.port.SetOpen(true);
  f.fake()->FeedAndSignal("abc");
  ASSERT_TRUE(DeliveryInFlight(f.fake()));
  f.port.SetOpen(false);
  EXPECT_FALSE(f.port.Open());
  EXPECT_EQ(f.port.PortState(), psClosed);
  EXPECT_EQ(f.port.GetDispatcher(), nullptr);
  EXPECT_EQ(counter.events, 0);  // the message in flight was dropped
}

TEST(PortClose, FromInsideItsOwnEventIsDeferredUntilTheThreadsEnd) {
  AvailCounter counter;
  FakePort f(true);
  counter.port = &f.port;
  counter.closeInside = true;
  f.port.SetOnTriggerAvail(TTriggerAvailEvent(&counter, &AvailCounter::Avail));
  f.port.SetOpen(true);
  f.fake()->FeedAndSignal("abc");
  ASSERT_TRUE(WaitFor([&] { return counter.events == 1; }));
  EXPECT_TRUE(counter.openInside);
  ASSERT_TRUE(WaitFor([&] { return f.port.PortState() == psClosed; }));
  EXPECT_FALSE(f.port.Open());
  EXPECT_EQ(f.port.GetDispatcher(), nullptr);
  EXPECT_EQ(counter.events, 1);
}

}  // namespace

namespace {

struct ClosingTrigger {
  TApdCustomComPort* port = nullptr;
  int triggers = 0, avails = 0;
  void Trigger(QObject*, uint16_t, uint16_t, uint16_t) {
    ++triggers;
    port->SetOpen(false);
  }
  void Avail(QObject*, uint16_t) { ++avails; }
};

TEST(PortEvents, AnOnTriggerHandlerThatClosesThePortEndsTheDelivery) {
  ClosingTrigger h;
  FakePort f(true);
  h.port = &f.port;
  f.port.SetOnTrigger(TTriggerEvent(&h, &ClosingTrigger::Trigger));
  f.port.SetOnTriggerAvail(TTriggerAvailEvent(&h, &ClosingTrigger::Avail));
  f.port.SetOpen(true);
  f.fake()->FeedAndSignal("abc");
  ASSERT_TRUE(WaitFor([&] { return f.port.PortState() == psClosed; }));
  EXPECT_EQ(h.triggers, 1);
  EXPECT_EQ(h.avails, 0);
}

TEST(PortLoad, AnOpenStoredInTheLayoutHappensAtLoaded) {
  FakePort f;
  f.port.BeginLoading();
  f.port.SetOpen(true);
  EXPECT_EQ(f.made, 0);
  f.port.Loaded();
  EXPECT_TRUE(f.port.Open());
  EXPECT_EQ(f.made, 1);

  FakePort failing;
  failing.nextOpenError = ERROR_FILE_NOT_FOUND;
  failing.port.BeginLoading();
  failing.port.SetOpen(true);
  TakeShownErrors();
  failing.port.Loaded();  // reported, not thrown
  EXPECT_FALSE(failing.port.Open());
  EXPECT_EQ(TakeShownErrors(), std::vector<std::string>{"ie_BadId - Specified comport doesn't exist"});
}

TEST(PortTrace, MovingATracedPortWritesTheTraceAndStartsAFreshOne) {
  const std::string name = testing::TempDir() + "port-move.trc";
  std::remove(name.c_str());
  FakePort f;
  f.port.SetTraceName(name);
  f.port.SetOpen(true);
  f.port.SetTracing(tlOn);
  f.port.SendText("ab");
  f.port.SetComNumber(4);
  EXPECT_EQ(f.port.Tracing(), tlOn);
  FILE* file = std::fopen(name.c_str(), "rb");
  ASSERT_NE(file, nullptr) << "no trace written at the move";
  std::fclose(file);
  // A paused trace comes back off.
  f.port.SetTracing(tlPause);
  f.port.SetComNumber(5);
  EXPECT_EQ(f.port.Tracing(), tlOff);
  std::remove(name.c_str());
}

}  // namespace
