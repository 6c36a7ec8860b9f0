// The Qt glue of the message pump: the Qt loop handles messages worker threads send to windows
// of the user-interface thread, also from processEvents() inside a handler, and errors shown
// from a worker reach the show-error hook through it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/hooks.h"
#include "platform/msgpump.h"
#include "platform/qt/qtpump.h"
#include "platform/winapi.h"

namespace {

constexpr UINT kFirst = WM_USER + 10;
constexpr UINT kSecond = WM_USER + 11;

struct Handlers {
  std::function<LRESULT(UINT, WPARAM)> onMessage;
};

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* handlers = reinterpret_cast<Handlers*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (handlers && handlers->onMessage && message >= WM_USER) return handlers->onMessage(message, wParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

class QtPump : public ::testing::Test {
protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "platform_qtpump_test";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QCoreApplication>(argc, argv);
    platform::InstallQtMessagePump();
    static const bool registered = [] {
      WNDCLASSA cls{};
      cls.lpfnWndProc = Proc;
      cls.lpszClassName = "qtPumpTestWindow";
      return RegisterClassA(&cls) != 0;
    }();
    ASSERT_TRUE(registered);
    window = CreateWindowA("qtPumpTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handlers));
  }
  void TearDown() override {
    DestroyWindow(window);
    platform::SetMessageWakeHook(nullptr);
    app.reset();
  }

  // Runs the Qt loop until `quit` is called from the loop, with a generous safety limit.
  void RunLoop(QEventLoop& loop) {
    QTimer::singleShot(20000, &loop, [&loop] { loop.exit(1); });
    EXPECT_EQ(loop.exec(), 0) << "the Qt loop never handled the message";
  }

  std::unique_ptr<QCoreApplication> app;
  Handlers handlers;
  HWND window = nullptr;
};

TEST_F(QtPump, TheQtLoopHandlesMessagesSentFromAWorker) {
  QEventLoop loop;
  DWORD handledOn = 0;
  handlers.onMessage = [&](UINT, WPARAM w) -> LRESULT {
    handledOn = GetCurrentThreadId();
    return static_cast<LRESULT>(w + 1);
  };
  DWORD_PTR result = 0;
  LRESULT ok = 0;
  std::thread worker([&] {
    ok = SendMessageTimeoutA(window, kFirst, 41, 0, SMTO_BLOCK, 10000, &result);
    QMetaObject::invokeMethod(&loop, [&loop] { loop.exit(0); }, Qt::QueuedConnection);
  });
  RunLoop(loop);
  worker.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(result, 42u);
  EXPECT_EQ(handledOn, GetCurrentThreadId());
}

// A handler that waits for a second message with processEvents() gets it handled meanwhile.
TEST_F(QtPump, ProcessEventsInsideAHandlerPumpsToo) {
  QEventLoop loop;
  std::atomic<bool> secondHandled{false};
  std::thread second;
  handlers.onMessage = [&](UINT message, WPARAM) -> LRESULT {
    if (message == kSecond) {
      secondHandled = true;
      return 0;
    }
    second = std::thread([&] {
      DWORD_PTR r;
      SendMessageTimeoutA(window, kSecond, 0, 0, SMTO_BLOCK, 10000, &r);
    });
    // Wait for the condition, not for a number of passes: each pass blocks until an event comes
    // (the sent message's wake-up, or the guard timer's tick), however slowly the thread starts.
    QTimer guard;
    guard.start(100);
    QDeadlineTimer deadline(20000);
    while (!secondHandled && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    loop.exit(0);
    return 0;
  };
  PostMessageA(window, kFirst, 0, 0);
  RunLoop(loop);
  second.join();
  EXPECT_TRUE(secondHandled);
}

TEST_F(QtPump, ErrorsShownFromAWorkerReachTheHookThroughTheLoop) {
  QEventLoop loop;
  std::string shown;
  platform::SetShowErrorHook([&](const std::string& text) {
    shown = text;
    loop.exit(0);
  });
  std::thread([] { platform::ShowErrorMessage("worker failed"); }).join();
  RunLoop(loop);
  EXPECT_EQ(shown, "worker failed");
  platform::SetShowErrorHook(nullptr);
}

}  // namespace
