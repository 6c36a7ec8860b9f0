// Test support for the device layer over real pseudo-terminals (see PtyPortFixture.h).
#include "tests/serial/PtyPortFixture.h"

#include <dirent.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "platform/msgpump.h"
#include "platform/portmap.h"

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

PortLink::PortLink(const std::string& target) {
  const std::filesystem::path folder = platform::DeviceMapFolder();
  std::filesystem::create_directories(folder);
  // symlink() fails on an existing name, so each number goes to exactly one process.
  for (int n = 1; n <= 255; ++n) {
    const std::string path = (folder / ("com" + std::to_string(n))).string();
    if (symlink(target.c_str(), path.c_str()) == 0) {
      number_ = n;
      path_ = path;
      return;
    }
    if (errno != EEXIST) throw std::system_error(errno, std::generic_category(), "symlink");
  }
  throw std::runtime_error("no free COM number in the device map");
}

PortLink::~PortLink() { unlink(path_.c_str()); }

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(TimeoutMs);
  for (;;) {
    platform::PumpPendingMessages();
    if (Done()) return true;
    if (NowMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int ProcessThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
  }
  return count;
}

bool WaitForThreadCount(int Count, int TimeoutMs) {
  return PumpUntil([&] { return ProcessThreadCount() <= Count; }, TimeoutMs);
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void WriteMaster(int Master, const std::string& Bytes) {
  size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = write(Master, Bytes.data() + done, Bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd ready{Master, POLLOUT, 0};
      poll(&ready, 1, 100);
    } else if (n < 0 && errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "write to pty master");
    }
  }
}

std::string ReadMaster(int Master, size_t Count, int TimeoutMs) {
  std::string got;
  PumpUntil(
      [&] {
        char buffer[4096];
        for (;;) {
          const ssize_t n = read(Master, buffer, sizeof buffer);
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
    const ssize_t n = read(Master, buffer, sizeof buffer);
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
  Pty = std::make_unique<platform::PtyPair>();
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
