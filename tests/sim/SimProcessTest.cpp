// The real dravik-sim binary on a pseudo-terminal: registration in the device map, requests
// over the comN link's device, the control channel, and clean-up on SIGTERM and SIGINT.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/SimProcess.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWaitMs = 10'000;  // generous: a loaded machine may be slow, nothing waits this long normally

// Reads from `fd` until `stop` arrives or kWaitMs pass; returns what came, `stop` included.
std::string ReadUntil(int fd, char stop) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (got.empty() || got.back() != stop) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n == 1) got.push_back(c);
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
  }
  return got;
}

// The simulator's options here: replies without the usual delay, then `extra`.
QStringList Fast(const QStringList& extra = {}) { return QStringList{"--delay", "5"} + extra; }

class SimProcessTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* folder = std::getenv("DRAVIK_DEVICEMAP");
    if (!folder || !*folder) {  // run by hand, outside CTest: a private folder all the same
      const std::string own = (fs::temp_directory_path() / ("dravik-sim-test-" + std::to_string(::getpid()))).string();
      ::setenv("DRAVIK_DEVICEMAP", own.c_str(), 1);
      folder = std::getenv("DRAVIK_DEVICEMAP");
      ownFolder_ = true;
    }
    map_ = folder;
    fs::remove_all(map_);  // links left by an earlier, killed run
  }
  void TearDown() override {
    if (ownFolder_) {
      fs::remove_all(map_);
      ::unsetenv("DRAVIK_DEVICEMAP");
    }
  }
  std::string Link(int n) const { return (map_ / ("com" + std::to_string(n))).string(); }
  fs::path map_;
  bool ownFolder_ = false;
};

// Sends one request frame and reads the reply up to its carriage return.
std::string Exchange(int fd, const std::string& request) {
  EXPECT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  return ReadUntil(fd, '\r');
}

// Runs a shell command to its end and returns its output.
std::string RunToEnd(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  ::pclose(pipe);
  return output;
}

TEST_F(SimProcessTest, AnswersOverItsLinkAndCleansUp) {
  SimProcess sim(Fast());
  ASSERT_TRUE(fs::is_symlink(Link(sim.Number())));
  EXPECT_EQ(fs::read_symlink(Link(sim.Number())).string(), sim.Tty().toStdString());

  int port = ::open(Link(sim.Number()).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(port, 0);
  EXPECT_EQ(Exchange(port, "!g####Q44\r"), ":R####Q0123C6\r");
  // The program closes and reopens the port at will; the simulator does not notice.
  ::close(port);
  port = ::open(Link(sim.Number()).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(port, 0);
  EXPECT_EQ(Exchange(port, "!g012305D\r"), ":R0123086E1E4\r");

  // Set the clock and write a configuration; the control channel shows what the instrument holds.
  EXPECT_EQ(Exchange(port, "!g0123T051231235958" "ED\r"), ":R0123T00\r");
  EXPECT_EQ(Exchange(port, "!g01239140400206419" "2400" "8B\r"), ":R01239" "00\r");
  const std::string state = sim.Control("state").toStdString();
  EXPECT_NE(state.find("\"flags\":9216"), std::string::npos) << state;
  EXPECT_NE(state.find("\"clock\":\"0512312359"), std::string::npos) << state;
  EXPECT_NE(state.find("\"peak\":0,"), std::string::npos) << state;
  EXPECT_EQ(state.find("\"peak\":650"), std::string::npos) << "results erased";

  // A fault from the control channel: the first status request goes unanswered, so the next
  // reply on the line is the one to the configuration request.
  EXPECT_EQ(sim.Control("fault noreply@0#1"), "ok");
  const std::string noReply = "!g012305D\r";
  ASSERT_EQ(::write(port, noReply.data(), noReply.size()), static_cast<ssize_t>(noReply.size()));
  EXPECT_EQ(Exchange(port, "!g012315E\r"), ":R01231140400206419" "2400" "25\r");
  ::close(port);

  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(sim.Number()))));
}

TEST_F(SimProcessTest, RegistersAboveEveryNumberInUse) {
  fs::create_directories(map_);
  fs::create_symlink("/dev/null-nothing-here", Link(7));  // a stale link still holds its number
  fs::create_symlink("/dev/null", map_ / "com007");       // not a port name: ignored
  SimProcess first(Fast());
  EXPECT_GT(first.Number(), 7);  // serial devices of the machine may hold numbers as well
  SimProcess second(Fast({"--serial", "4711"}));
  EXPECT_EQ(second.Number(), first.Number() + 1);
  EXPECT_EQ(second.Stop(SIGINT), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(second.Number()))));
  EXPECT_TRUE(fs::is_symlink(Link(first.Number()))) << "the other simulator's link stays";
  EXPECT_EQ(first.Control("quit"), "bye");
  EXPECT_EQ(first.Stop(0), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(first.Number()))));
  EXPECT_TRUE(fs::is_symlink(Link(7)));
}

// A simulator standing in for one that was killed takes over its number: the dead one's link is
// left behind pointing at a pty that is gone. A link whose device is still there is refused.
TEST_F(SimProcessTest, TakesOverTheNumberOfAKilledSimulator) {
  fs::create_directories(map_);
  std::string refused;
  int number = 0;
  {
    SimProcess first(Fast());
    number = first.Number();
    const std::string taken = "--com " + std::to_string(number);
    // With stdin control at its end, a simulator that wrongly started would quit at once.
    refused = RunToEnd(std::string(DRAVIK_SIM_PATH) + " --control stdin " + taken + " </dev/null 2>&1");
    EXPECT_NE(refused.find("in use"), std::string::npos) << refused;
    EXPECT_EQ(fs::read_symlink(Link(number)).string(), first.Tty().toStdString()) << "the live link stays";
    first.Kill();  // the link stays behind, dangling
  }
  ASSERT_TRUE(fs::is_symlink(Link(number)));
  ASSERT_FALSE(fs::exists(Link(number)));

  SimProcess second(Fast({"--com", QString::number(number)}));
  EXPECT_EQ(second.Number(), number);
  EXPECT_EQ(fs::read_symlink(Link(number)).string(), second.Tty().toStdString());
  int port = ::open(Link(number).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(port, 0);
  EXPECT_EQ(Exchange(port, "!g####Q44\r"), ":R####Q0123C6\r");
  ::close(port);
  EXPECT_EQ(second.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(number))));
}

}  // namespace
