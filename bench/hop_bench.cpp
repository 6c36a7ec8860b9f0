// The cost of one thread hop on this machine, through the primitives our stack's delivery path
// is built from, so that the latency the design itself adds can be stated as a measured bound:
//   event: one platform event handed from one thread to another (SetEvent -> WaitForSingleObject),
//          half of a ping-pong round trip; the hop from the user-interface thread to the output
//          thread and from the receive thread to the dispatch thread;
//   send:  a worker thread's SendMessageTimeoutA to a window of the Qt user-interface thread and
//          back (the dispatch thread's blocking delivery), a full round trip;
//   cv:    a plain std::condition_variable ping-pong, half a round trip (any hop's floor).
// Prints one line: "result hops event_ns=<median> event_p99_ns=<p99> send_ns=... cv_ns=...".
//   hop_bench [rounds]   (default 20000)
#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/bench_wire.h"
#include "platform/qt/qtpump.h"
#include "platform/winapi.h"

using bench::NowNs;

namespace {

struct Figures {
  uint64_t median = 0, p99 = 0;
};

Figures Summarise(std::vector<uint64_t> ns, unsigned divisor) {
  std::sort(ns.begin(), ns.end());
  if (ns.empty()) return {};
  return {ns[ns.size() / 2] / divisor, ns[std::min(ns.size() - 1, ns.size() * 99 / 100)] / divisor};
}

Figures EventHop(unsigned rounds) {
  HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr), pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::thread echo([&] {
    for (unsigned i = 0; i < rounds; ++i) {
      WaitForSingleObject(ping, INFINITE);
      SetEvent(pong);
    }
  });
  std::vector<uint64_t> ns;
  ns.reserve(rounds);
  for (unsigned i = 0; i < rounds; ++i) {
    const uint64_t t0 = NowNs();
    SetEvent(ping);
    WaitForSingleObject(pong, INFINITE);
    ns.push_back(NowNs() - t0);
  }
  echo.join();
  CloseHandle(ping);
  CloseHandle(pong);
  return Summarise(ns, 2);
}

Figures CvHop(unsigned rounds) {
  std::mutex m;
  std::condition_variable cv;
  unsigned turn = 0;  // even: the echo's turn, odd: the caller's
  std::thread echo([&] {
    for (unsigned i = 0; i < rounds; ++i) {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return turn == 2 * i + 1; });
      ++turn;
      cv.notify_all();
    }
  });
  std::vector<uint64_t> ns;
  ns.reserve(rounds);
  for (unsigned i = 0; i < rounds; ++i) {
    const uint64_t t0 = NowNs();
    std::unique_lock lock(m);
    ++turn;
    cv.notify_all();
    cv.wait(lock, [&] { return turn == 2 * i + 2; });
    ns.push_back(NowNs() - t0);
  }
  echo.join();
  return Summarise(ns, 2);
}

LRESULT CALLBACK Answer(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_USER) return 1;
  return DefWindowProcA(window, msg, wParam, lParam);
}

Figures SendHop(int argc, char** argv, unsigned rounds) {
  QCoreApplication app(argc, argv);
  platform::InstallQtMessagePump();
  WNDCLASSA cls{};
  cls.lpfnWndProc = Answer;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = "hopBench";
  RegisterClassA(&cls);
  HWND window = CreateWindowA("hopBench", "", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  std::vector<uint64_t> ns;
  ns.reserve(rounds);
  std::thread sender([&] {
    for (unsigned i = 0; i < rounds; ++i) {
      DWORD_PTR answer = 0;
      const uint64_t t0 = NowNs();
      SendMessageTimeoutA(window, WM_USER, 0, 0, SMTO_BLOCK, 3000, &answer);
      ns.push_back(NowNs() - t0);
    }
    QMetaObject::invokeMethod(&app, [&app] { app.quit(); }, Qt::QueuedConnection);
  });
  app.exec();
  sender.join();
  DestroyWindow(window);
  return Summarise(ns, 1);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned rounds = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 20000;
  const Figures event = EventHop(rounds);
  const Figures cv = CvHop(rounds);
  const Figures send = SendHop(argc, argv, rounds);
  std::printf("result hops event_ns=%llu event_p99_ns=%llu send_ns=%llu send_p99_ns=%llu cv_ns=%llu cv_p99_ns=%llu\n",
              static_cast<unsigned long long>(event.median), static_cast<unsigned long long>(event.p99),
              static_cast<unsigned long long>(send.median), static_cast<unsigned long long>(send.p99),
              static_cast<unsigned long long>(cv.median), static_cast<unsigned long long>(cv.p99));
  return 0;
}
