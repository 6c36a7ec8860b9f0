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

#include "tests/support/ChildProcess.h"

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

// One dravik-sim process with its stdin and stdout on pipes (control channel "stdin").
class SimProcess {
public:
  explicit SimProcess(std::vector<std::string> extraArgs = {})
      : process_([&] {
          std::vector<std::string> args = {DRAVIK_SIM_PATH, "--control", "stdin", "--delay", "5"};
          args.insert(args.end(), extraArgs.begin(), extraArgs.end());
          return args;
        }()) {
    const std::string first = process_.ReadLine(kWaitMs);
    const auto space = first.find(' ');
    if (first.rfind("COM", 0) != 0 || space == std::string::npos) throw std::runtime_error("no COM line: " + first);
    number_ = std::stoi(first.substr(3, space - 3));
    tty_ = first.substr(space + 1);
  }

  int number() const { return number_; }
  const std::string& tty() const { return tty_; }

  // One command and its reply line, the newline included.
  std::string Control(const std::string& command) {
    EXPECT_TRUE(process_.Write(command + "\n"));
    return process_.ReadLine(kWaitMs) + "\n";
  }

  // Sends `sig` and returns the exit status (or -1 when it did not exit normally).
  int Stop(int sig) { return process_.Stop(sig); }

private:
  ChildProcess process_;  // SIGKILLed at the end if still running
  int number_ = 0;
  std::string tty_;
};

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
  SimProcess sim;
  ASSERT_TRUE(fs::is_symlink(Link(sim.number())));
  EXPECT_EQ(fs::read_symlink(Link(sim.number())).string(), sim.tty());

  int port = ::open(Link(sim.number()).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(port, 0);
  EXPECT_EQ(Exchange(port, "!g####Q44\r"), ":R####Q0123C6\r");
  // The program closes and reopens the port at will; the simulator does not notice.
  ::close(port);
  port = ::open(Link(sim.number()).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(port, 0);
  EXPECT_EQ(Exchange(port, "!g012305D\r"), ":R0123086E1E4\r");

  // Set the clock and write a configuration; the control channel shows what the instrument holds.
  EXPECT_EQ(Exchange(port, "!g0123T051231235958" "ED\r"), ":R0123T00\r");
  EXPECT_EQ(Exchange(port, "!g01239140400206419" "2400" "8B\r"), ":R01239" "00\r");
  const std::string state = sim.Control("state");
  EXPECT_NE(state.find("\"flags\":9216"), std::string::npos) << state;
  EXPECT_NE(state.find("\"clock\":\"0512312359"), std::string::npos) << state;
  EXPECT_NE(state.find("\"peak\":0,"), std::string::npos) << state;
  EXPECT_EQ(state.find("\"peak\":650"), std::string::npos) << "results erased";

  // A fault from the control channel: the first status request goes unanswered, so the next
  // reply on the line is the one to the configuration request.
  EXPECT_EQ(sim.Control("fault noreply@0#1"), "ok\n");
  const std::string noReply = "!g012305D\r";
  ASSERT_EQ(::write(port, noReply.data(), noReply.size()), static_cast<ssize_t>(noReply.size()));
  EXPECT_EQ(Exchange(port, "!g012315E\r"), ":R01231140400206419" "2400" "25\r");
  ::close(port);

  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(sim.number()))));
}

TEST_F(SimProcessTest, RegistersAboveEveryNumberInUse) {
  fs::create_directories(map_);
  fs::create_symlink("/dev/null-nothing-here", Link(7));  // a stale link still holds its number
  fs::create_symlink("/dev/null", map_ / "com007");       // not a port name: ignored
  SimProcess first;
  EXPECT_GT(first.number(), 7);  // serial devices of the machine may hold numbers as well
  SimProcess second({"--serial", "4711"});
  EXPECT_EQ(second.number(), first.number() + 1);
  EXPECT_EQ(second.Stop(SIGINT), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(second.number()))));
  EXPECT_TRUE(fs::is_symlink(Link(first.number()))) << "the other simulator's link stays";
  EXPECT_EQ(first.Control("quit"), "bye\n");
  EXPECT_EQ(first.Stop(0), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(first.number()))));
  EXPECT_TRUE(fs::is_symlink(Link(7)));
}

// A simulator standing in for one that was killed takes over its number: the dead one's link is
// left behind pointing at a pty that is gone. A link whose device is still there is refused.
TEST_F(SimProcessTest, TakesOverTheNumberOfAKilledSimulator) {
  fs::create_directories(map_);
  std::string refused;
  int number = 0;
  {
    SimProcess first;
    number = first.number();
    const std::string taken = "--com " + std::to_string(number);
    // With stdin control at its end, a simulator that wrongly started would quit at once.
    refused = RunToEnd(std::string(DRAVIK_SIM_PATH) + " --control stdin " + taken + " </dev/null 2>&1");
    EXPECT_NE(refused.find("in use"), std::string::npos) << refused;
    EXPECT_EQ(fs::read_symlink(Link(number)).string(), first.tty()) << "the live link stays";
  }  // SIGKILL: the link stays behind, dangling
  ASSERT_TRUE(fs::is_symlink(Link(number)));
  ASSERT_FALSE(fs::exists(Link(number)));

  SimProcess second({"--com", std::to_string(number)});
  EXPECT_EQ(second.number(), number);
  EXPECT_EQ(fs::read_symlink(Link(number)).string(), second.tty());
  int port = ::open(Link(number).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(port, 0);
  EXPECT_EQ(Exchange(port, "!g####Q44\r"), ":R####Q0123C6\r");
  ::close(port);
  EXPECT_EQ(second.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link(number))));
}

}  // namespace
