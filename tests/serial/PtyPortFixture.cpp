// Test support for the device layer over real pseudo-terminals (see PtyPortFixture.h).
#include "tests/serial/PtyPortFixture.h"

#if defined(_WIN32)
#  include <tlhelp32.h>
#else
#  include <dirent.h>
#  include <time.h>
#endif

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/msgpump.h"

namespace devlayer_test {

namespace {

constexpr char WindowClass[] = "devlayerTestWindow";
PtyPortTest* CurrentTest = nullptr;  // the test whose window receives messages (test thread)

uint64_t NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

PortLink::PortLink(const std::string& target) : folder_(testsupport::ComLinkFolder()) {
  std::filesystem::create_directories(folder_);
  // A link fails on an existing name, so each number goes to exactly one process. Numbers
  // above 100 only: under Wine the low ones are the host's own serial devices.
  for (int n = 101; n <= 255; ++n) {
    if (testsupport::LinkComPort(folder_, n, target)) {
      number_ = n;
      return;
    }
  }
  throw std::runtime_error("no free COM number in " + folder_);
}

PortLink::~PortLink() { testsupport::UnlinkComPort(folder_, number_); }

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(TimeoutMs);
  for (;;) {
    platform::PumpPendingMessages();
    if (Done()) return true;
    if (NowMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

#if defined(_WIN32)
int ProcessThreadCount() {
  int count = 0;
  // INVALID_HANDLE_VALUE on failure (then no thread is counted).
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  // FALSE on failure (then no time is counted).
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
}
#else
int ProcessThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
  }
  return count;
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
#endif

bool WaitForThreadCount(int Count, int TimeoutMs) {
  return PumpUntil([&] { return ProcessThreadCount() <= Count; }, TimeoutMs);
}

void WriteMaster(int Master, const std::string& Bytes) {
  size_t done = 0;
  while (done < Bytes.size()) {
    const long n = testsupport::HostWrite(Master, Bytes.data() + done, Bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == testsupport::HostEAGAIN) {
      testsupport::HostPoll(Master, testsupport::HostPollOut, 100);
    } else if (n < 0 && n != testsupport::HostEINTR) {
      throw std::system_error(static_cast<int>(-n), std::generic_category(), "write to pty master");
    }
  }
}

std::string ReadMaster(int Master, size_t Count, int TimeoutMs) {
  std::string got;
  PumpUntil(
      [&] {
        char buffer[4096];
        for (;;) {
          const long n = testsupport::HostRead(Master, buffer, sizeof buffer);
          if (n <= 0) break;
          got.append(buffer, static_cast<size_t>(n));
        }
        return got.size() >= Count;
      },
      TimeoutMs);
  return got;
}

std::string DrainMaster(int Master) {
  std::string got;
  char buffer[4096];
  for (;;) {
    const long n = testsupport::HostRead(Master, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

std::string Pattern(size_t Start, size_t Count) {
  std::string bytes(Count, '\0');
  for (size_t i = 0; i < Count; ++i) bytes[i] = static_cast<char>((Start + i) * 7 % 251);
  return bytes;
}

LRESULT CALLBACK PtyPortTest::WindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg >= TriggerAvailMessage && Msg <= TriggerStatusMessage) {
    if (CurrentTest && CurrentTest->OnTrigger) CurrentTest->OnTrigger(Msg, wParam, lParam);
    return 0;
  }
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

void PtyPortTest::SetUp() {
  // A sanitizer runtime starts its own background thread with the first thread the process
  // creates; let that happen before counting.
  std::thread([] {}).join();
  BaseThreads = ProcessThreadCount();
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = WindowClass;
    return RegisterClassA(&windowClass) != 0;
  }();
  ASSERT_TRUE(registered);
  Window = CreateWindowExA(0, WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(Window, nullptr);
  CurrentTest = this;
  Pty = std::make_unique<testsupport::HostPty>();
  Link = std::make_unique<PortLink>(Pty->slavePath());
}

void PtyPortTest::TearDown() {
  Dispatcher.reset();
  if (Window) DestroyWindow(Window);
  CurrentTest = nullptr;
  Link.reset();
  Pty.reset();
}

int PtyPortTest::OpenDispatcher(uint32_t InSize, uint32_t OutSize) {
  return OpenDispatcher(std::make_unique<TApdWin32Dispatcher>(nullptr), InSize, OutSize);
}

int PtyPortTest::OpenDispatcher(std::unique_ptr<TApdWin32Dispatcher> Made, uint32_t InSize,
                                uint32_t OutSize) {
  Dispatcher = std::move(Made);
  const int result = Dispatcher->OpenPort(Link->DevicePath(), 9600, NOPARITY, 8, 1, InSize, OutSize,
                                          ptoDTROn | ptoRTSOn);
  if (result == 0) {
    Dispatcher->AttachWindow(Window);
    Dispatcher->RefreshDeliveryNeed(TDeliveryNeed::PortHandlerInstalled);
    Dispatcher->SetAvailThreshold(1);
  }
  return result;
}

}  // namespace devlayer_test
