// Reading, writing and settings on a COM port over a pty: pending writes and their purge, reads
// with time-outs, the DCB through termios, the status calls and a pty's missing modem lines.
#if !defined(_WIN32)
#  include <fcntl.h>
#  include <termios.h>
#endif

#include <chrono>

#include "tests/platform/comm_fixture.h"

namespace {

using namespace std::chrono_literals;
using commtest::CommTest;
using commtest::Overlapped;
using commtest::WriteMaster;

constexpr DWORD kPrompt = 5000;

class CommIo : public CommTest {
protected:
  void SetUp() override {
    CommTest::SetUp();
#if !defined(_WIN32)
    // A second descriptor on the slave, opened before the port is, to look at its termios.
    observer = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(observer, 0);
#endif
    Link(107, pty.slavePath());
    port = Open(107);
    ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  }
  void TearDown() override {
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
#if !defined(_WIN32)
    if (observer >= 0) ::close(observer);
#endif
    CommTest::TearDown();
  }

  // Reads from the master until `count` bytes equal to `wanted` have come, skipping others.
  size_t DrainMasterCounting(char wanted, size_t count) {
    size_t seen = 0, others = 0;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (seen < count && std::chrono::steady_clock::now() < deadline) {
      const ssize_t n = commtest::ReadMaster(pty.master(), buffer, sizeof buffer);
      if (n <= 0) {
        std::this_thread::yield();
        continue;
      }
      for (ssize_t i = 0; i < n; ++i) (buffer[i] == wanted ? seen : others)++;
    }
    return seen;
  }

  testsupport::HostPty pty;
  int observer = -1;
  HANDLE port = INVALID_HANDLE_VALUE;
};

TEST_F(CommIo, AWriteTheDeviceCannotTakeIsPendingUntilPurgedOrRead) {
  const std::string big(1 << 20, 'A');  // far more than a pty buffers with nobody reading
  Overlapped first;
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port, big.data(), static_cast<DWORD>(big.size()), &written, &first));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_FALSE(GetOverlappedResult(port, &first, &written, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
  COMSTAT status{};
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(port, &errors, &status));
  EXPECT_GT(status.cbOutQue, 0u) << "the pending bytes count as queued output";

  ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR));
  ASSERT_EQ(WaitForSingleObject(first.ov.hEvent, kPrompt), WAIT_OBJECT_0) << "the aborted write sets its event";
  EXPECT_FALSE(GetOverlappedResult(port, &first, &written, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_LT(written, big.size());

  const std::string second(256 * 1024, 'B');
  Overlapped pending;
  const BOOL done = WriteFile(port, second.data(), static_cast<DWORD>(second.size()), &written, &pending);
  if (!done) {
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  }
  size_t drained = 0;
  std::thread reader([&] { drained = DrainMasterCounting('B', second.size()); });
  ASSERT_TRUE(GetOverlappedResult(port, &pending, &written, TRUE));
  EXPECT_EQ(written, second.size());
  reader.join();
  EXPECT_EQ(drained, second.size()) << "every byte of the completed write arrives";
}

TEST_F(CommIo, WritesQueuedBehindAPendingOneKeepTheirOrder) {
  const std::string big(256 * 1024, 'C');
  Overlapped a, b;
  DWORD n;
  ASSERT_FALSE(WriteFile(port, big.data(), static_cast<DWORD>(big.size()), &n, &a));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  ASSERT_FALSE(WriteFile(port, "END", 3, &n, &b)) << "a small write must not overtake the pending one";
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  std::string tail;
  std::thread reader([&] {
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    size_t total = 0;
    while (total < big.size() + 3 && std::chrono::steady_clock::now() < deadline) {
      const ssize_t got = commtest::ReadMaster(pty.master(), buffer, sizeof buffer);
      if (got <= 0) {
        std::this_thread::yield();
        continue;
      }
      total += static_cast<size_t>(got);
      tail = (tail + std::string(buffer, static_cast<size_t>(got)));
      if (tail.size() > 8) tail.erase(0, tail.size() - 8);
    }
  });
  ASSERT_TRUE(GetOverlappedResult(port, &b, &n, TRUE));
  reader.join();
  EXPECT_EQ(tail, "CCCCCEND");
}

TEST_F(CommIo, ReadTimeoutsWaitForBytesOrTime) {
  // All zero: a read waits until every byte asked for has come.
  COMMTIMEOUTS none{0, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &none));
  char buffer[8] = {};
  DWORD n = 0;
  Overlapped ov;
  ASSERT_FALSE(ReadFile(port, buffer, 4, &n, &ov));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  WriteMaster(pty.master(), "ab");
  EXPECT_EQ(WaitForSingleObject(ov.ov.hEvent, 100), WAIT_TIMEOUT);
  WriteMaster(pty.master(), "cd");
  ASSERT_TRUE(GetOverlappedResult(port, &ov, &n, TRUE));
  EXPECT_EQ(std::string(buffer, n), "abcd");

  // A total time-out ends a read short; without an OVERLAPPED the call itself waits.
  COMMTIMEOUTS total{0, 0, 80, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port, &total));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ReadFile(port, buffer, 4, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
}

TEST_F(CommIo, NullStrippingAndSynchronousCalls) {
  ReturnAtOnce(port);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.fNull = 1;
  ASSERT_TRUE(SetCommState(port, &dcb));
  WriteMaster(pty.master(), std::string("a\0b\0\0c", 6));
  DWORD mask = 0;
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
  ASSERT_TRUE(WaitCommEvent(port, &mask, nullptr));
  EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR));
  COMSTAT status{};
  DWORD errors = 0;
  std::string got;
  char buffer[16];
  DWORD n = 0;
  while (got.size() < 3 && ReadFile(port, buffer, sizeof buffer, &n, nullptr)) got.append(buffer, n);
  EXPECT_EQ(got, "abc");

  ASSERT_TRUE(WriteFile(port, "ping", 4, &n, nullptr));
  EXPECT_EQ(n, 4u);
  WriteMaster(pty.master(), "12345");
  for (int i = 0; i < 1000 && status.cbInQue < 5; ++i) {
    ASSERT_TRUE(ClearCommError(port, &errors, &status));
    if (status.cbInQue < 5) std::this_thread::sleep_for(2ms);
  }
  EXPECT_EQ(status.cbInQue, 5u);
  EXPECT_EQ(errors, 0u);
  ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR));
  ASSERT_TRUE(ClearCommError(port, &errors, &status));
  EXPECT_EQ(status.cbInQue, 0u);
}

#if !defined(_WIN32)  // Linux only (tests/wine/linux-only.txt): termios is the Linux layer's
struct LineCase {
  const char* name;
  DWORD baud;
  BYTE byteSize, parity, stopBits;
  bool xonXoff, rtsCts;
  tcflag_t cflagSet, cflagClear;  // what termios must show
};

TEST_F(CommIo, DcbRoundTripsThroughTermios) {
  // What termios must show on a pty, which forces 8 bits without parity: size and parity then
  // round-trip through the handle's shadow settings.
  const LineCase cases[] = {
      {"9600 8N1", 9600, 8, NOPARITY, ONESTOPBIT, false, false, CS8 | CLOCAL | CREAD, CSTOPB | CRTSCTS | PARODD},
      {"19200 7E1", 19200, 7, EVENPARITY, ONESTOPBIT, false, false, CLOCAL | CREAD, PARODD | CSTOPB},
      {"4800 8N2", 4800, 8, NOPARITY, TWOSTOPBITS, false, false, CSTOPB, PARODD | CRTSCTS},
      {"2400 7O1", 2400, 7, ODDPARITY, ONESTOPBIT, false, false, PARODD, CSTOPB},
      {"9600 8N1 XON/XOFF", 9600, 8, NOPARITY, ONESTOPBIT, true, false, CS8, CRTSCTS},
      {"115200 8N1 RTS/CTS", 115200, 8, NOPARITY, ONESTOPBIT, false, true, CRTSCTS, 0},
      {"14400 8M2 (a rate without a B-code)", 14400, 8, MARKPARITY, TWOSTOPBITS, false, false,
       CMSPAR | PARODD | CSTOPB, 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.BaudRate = c.baud;
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    dcb.fOutX = dcb.fInX = c.xonXoff;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.fOutxCtsFlow = c.rtsCts;
    dcb.fRtsControl = c.rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    ASSERT_TRUE(SetCommState(port, &dcb)) << GetLastError();

    termios tio{};
    ASSERT_EQ(::tcgetattr(observer, &tio), 0);
    EXPECT_EQ(tio.c_cflag & c.cflagSet, c.cflagSet);
    EXPECT_EQ(tio.c_cflag & c.cflagClear, 0u);
    EXPECT_EQ((tio.c_iflag & (IXON | IXOFF)) != 0, c.xonXoff);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u) << "always raw";
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    DCB back{};
    ASSERT_TRUE(GetCommState(port, &back));
    EXPECT_EQ(back.BaudRate, c.baud);
    EXPECT_EQ(back.ByteSize, c.byteSize);
    EXPECT_EQ(back.Parity, c.parity);
    EXPECT_EQ(back.StopBits, c.stopBits);
    EXPECT_EQ(back.fOutX, static_cast<DWORD>(c.xonXoff));
    EXPECT_EQ(back.fInX, static_cast<DWORD>(c.xonXoff));
    EXPECT_EQ(back.fOutxCtsFlow, static_cast<DWORD>(c.rtsCts));
    EXPECT_EQ(back.fRtsControl, static_cast<DWORD>(c.rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE));
    EXPECT_EQ(back.XonChar, 0x11);
    EXPECT_EQ(back.XoffChar, 0x13);
    EXPECT_EQ(back.XonLim, 100);
    EXPECT_EQ(back.XoffLim, 200);
    EXPECT_EQ(back.fBinary, 1u);
  }
}

#endif

TEST_F(CommIo, InvalidLineSettingsAreRefusedAndChangeNothing) {
  DCB good{};
  ASSERT_TRUE(GetCommState(port, &good));
  const auto bad = [&](auto change) {
    DCB dcb = good;
    change(dcb);
    return dcb;
  };
  DCB cases[] = {
      bad([](DCB& d) { d.ByteSize = 9; }),
      bad([](DCB& d) { d.ByteSize = 4; }),
      bad([](DCB& d) { d.Parity = 5; }),
      bad([](DCB& d) { d.StopBits = 3; }),
      bad([](DCB& d) { d.BaudRate = 0; }),
      bad([](DCB& d) { d.StopBits = ONE5STOPBITS; d.ByteSize = 8; }),
      bad([](DCB& d) { d.fOutX = 1; d.XonChar = d.XoffChar = 0x11; }),
  };
  for (DCB& dcb : cases) {
    SetLastError(0);
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  DCB after{};
  ASSERT_TRUE(GetCommState(port, &after));
  EXPECT_EQ(after.ByteSize, good.ByteSize);
  EXPECT_EQ(after.BaudRate, good.BaudRate);
}

// A pty has no modem lines: the line functions succeed and report every line off.
TEST_F(CommIo, APtyReportsAllLinesOffAndTakesLineChanges) {
  DWORD status = 0xff;
  ASSERT_TRUE(GetCommModemStatus(port, &status));
  EXPECT_EQ(status, 0u);
  for (DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK})
    EXPECT_TRUE(EscapeCommFunction(port, function)) << function << " error " << GetLastError();
  EXPECT_FALSE(EscapeCommFunction(port, 10));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetupComm(port, 64, 64));
}

TEST_F(CommIo, CallsOnAClosedHandleFailWithInvalidHandle) {
  HANDLE stale = port;
  ASSERT_TRUE(CloseHandle(port));
  port = INVALID_HANDLE_VALUE;
  DWORD n;
  DCB dcb{};
  SetLastError(0);
  EXPECT_FALSE(ReadFile(stale, &n, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetCommState(stale, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(stale)) << "a device handle is not an event";
}

}  // namespace
