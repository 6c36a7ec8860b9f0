// Opening COM ports through the port map: exclusivity (also for root), reopening as an
// unprivileged user, and the errors for missing ports.
#include <sys/stat.h>
#if !defined(_WIN32)
#  include <sys/wait.h>
#endif

#include "tests/platform/comm_fixture.h"

namespace {

using commtest::CommTest;

TEST_F(CommTest, OpensThroughALinkExclusivelyAndReopensAfterClose) {
  testsupport::HostPty pty;
  Link(103, pty.slavePath());
  HANDLE first = Open(103);
  ASSERT_NE(first, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_NE(first, nullptr);

  SetLastError(0);
  EXPECT_EQ(Open(103), INVALID_HANDLE_VALUE) << "a held port must not open twice, even for root";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  ASSERT_TRUE(CloseHandle(first));
  HANDLE again = Open(103);
  ASSERT_NE(again, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(again);
}

TEST_F(CommTest, MissingPortsAndDanglingLinksAreNotFound) {
  struct Case {
    const char* name;
    DWORD error;
  };
  Link(104, folder_ + "/no-such-tty");
  const Case cases[] = {
      {"\\\\.\\COM109", ERROR_FILE_NOT_FOUND},   // nothing in the map
      {"\\\\.\\COM104", ERROR_FILE_NOT_FOUND},   // a link pointing nowhere
      {"\\\\.\\COM0104", ERROR_FILE_NOT_FOUND},  // not a port name we issue
#if !defined(_WIN32)
      {"/etc/passwd", ERROR_FILE_NOT_FOUND},   // not a COM port at all (a Windows path elsewhere)
#endif
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(CreateFileA(c.name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                          nullptr),
              INVALID_HANDLE_VALUE)
        << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
}

TEST_F(CommTest, ALinkToSomethingThatIsNotATtyIsNotAPort) {
  Link(106, "/dev/null");
  EXPECT_EQ(Open(106), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

#if !defined(_WIN32)  // Linux only (tests/wine/linux-only.txt)
// TIOCEXCL outlives the descriptor; unless it is undone at close, every later open by a user
// other than root fails. Root is exempt, so the reopen runs as nobody.
TEST_F(CommTest, AnUnprivilegedUserCanCloseAndReopen) {
  testsupport::HostPty pty;
  ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0666), 0);
  Link(105, pty.slavePath());
  HANDLE port = Open(105);  // leaves the exclusive flag behind unless the close undoes it
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  CloseHandle(port);

  std::string command = std::string(COMM_CHILD_PATH) + " 105";
  if (::getuid() == 0) command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << command;
  EXPECT_EQ(WEXITSTATUS(status), 0) << command;
}
#endif

}  // namespace
