// The show-error and prompt-for-port hooks.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/hooks.h"
#include "platform/msgpump.h"
#include "platform/winapi.h"

namespace {

TEST(ShowErrorHook, RunsOnTheInstallingThreadWithoutBlockingTheCaller) {
  std::vector<std::pair<std::string, DWORD>> shown;
  platform::SetShowErrorHook([&](const std::string& text) { shown.emplace_back(text, GetCurrentThreadId()); });
  platform::ShowErrorMessage("here");
  ASSERT_EQ(shown.size(), 1u) << "on the installing thread the hook runs at once";

  std::thread worker([] {
    platform::ShowErrorMessage("from a worker 1");
    platform::ShowErrorMessage("from a worker 2");
  });
  worker.join();  // returns although nobody has pumped yet
  EXPECT_EQ(shown.size(), 1u);
  while (shown.size() < 3) {
    WaitMessage();
    platform::PumpPendingMessages();
  }
  EXPECT_EQ(shown[1].first, "from a worker 1");
  EXPECT_EQ(shown[2].first, "from a worker 2");
  EXPECT_EQ(shown[2].second, GetCurrentThreadId());
  platform::SetShowErrorHook(nullptr);
}

// Texts posted to a hook that is then replaced are not lost: they reach the new hook.
TEST(ShowErrorHook, ReplacingTheHookForwardsQueuedTexts) {
  std::vector<std::string> first, second;
  platform::SetShowErrorHook([&](const std::string& text) { first.push_back(text); });
  std::thread([] { platform::ShowErrorMessage("queued"); }).join();
  platform::SetShowErrorHook([&](const std::string& text) { second.push_back(text); });
  platform::PumpPendingMessages();
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(second, std::vector<std::string>{"queued"});
  platform::SetShowErrorHook(nullptr);
}

TEST(PromptForPortHook, DefaultCancelsAndAnInstalledHookAnswers) {
  int port = 7;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(platform::PromptForPort(port));
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(port, 7);
  platform::SetPromptForPortHook([](int& chosen) {
    chosen = 4;
    return true;
  });
  EXPECT_TRUE(platform::PromptForPort(port));
  EXPECT_EQ(port, 4);
  platform::SetPromptForPortHook(nullptr);
}

}  // namespace
