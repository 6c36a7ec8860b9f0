// The byte trace and the dispatch log: the dump text layouts (byte forms, blocks, column
// wrapping, log time, header, fixed columns, status labels) and the recorders behind them
// (ring sizes, oldest-first order, what is recorded where, file errors).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "FakeDispatcher.h"
#include "TestClock.h"
#include "serial/AwUserDumpFormat.h"

namespace {

namespace fs = std::filesystem;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// (kind, byte) pairs from a kind string and a byte string of the same length.
std::string Pairs(const std::string& kinds, const std::string& bytes) {
  std::string pairs;
  for (size_t i = 0; i < kinds.size(); ++i) {
    pairs += kinds[i];
    pairs += bytes[i];
  }
  return pairs;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DumpFormat, ByteForms) {
  struct Case {
    uint8_t byte;
    bool allHex, hex;
    const char* text;
  };
  const Case cases[] = {
      {'A', false, false, "A"},     {'A', true, false, "[41]"},   {' ', false, false, " "},
      {' ', false, true, "[20]"},   {'~', false, true, "~"},      {0x7F, false, false, "[127]"},
      {0x7F, false, true, "[7F]"},  {0x0D, false, false, "[13]"}, {0x05, false, false, "[5]"},
      {0x00, false, true, "[00]"},  {0xFF, false, false, "[255]"}, {0xAB, true, true, "[AB]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DumpByteForm(c.byte, c.allHex, c.hex), c.text) << int(c.byte) << c.allHex << c.hex;
}

TEST(DumpFormat, TraceBlocksAlternateWithBlankLinesBetween) {
  const std::string pairs = Pairs("TTRRRT", "ab\r12z");
  EXPECT_EQ(FormatTraceText(Bytes(pairs), {}, false, false),
            "Transmit: \nab\n\nReceive: \n[13]12\n\nTransmit: \nz\n");
  const std::string special = Pairs("Q", "x");
  EXPECT_EQ(FormatTraceText(Bytes(special), {}, false, false), "Special-Q: \nx\n");
}

TEST(DumpFormat, TraceLinesHoldAtMost78Columns) {
  // 77 one-column bytes, then a four-column form: 77 + 4 > 78 starts a new line.
  std::string bytes(77, 'x');
  bytes += '\x01';
  bytes += std::string(78, 'y');
  const std::string pairs = Pairs(std::string(bytes.size(), 'R'), bytes);
  const auto lines = Lines(FormatTraceText(Bytes(pairs), {}, false, true));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], std::string(77, 'x'));
  EXPECT_EQ(lines[2], "[01]" + std::string(74, 'y'));
  EXPECT_EQ(lines[3], std::string(4, 'y'));
}

TEST(DumpFormat, LogTimes) {
  struct Case {
    uint32_t ms;
    const char* text;
  };
  for (const Case& c : {Case{0, "0000.000"}, Case{300, "0000.300"}, Case{12345, "0012.345"},
                        Case{9999999, "9999.999"}, Case{12345678, "12345.678"}})
    EXPECT_EQ(FormatLogTime(c.ms), c.text);
}

TEST(DumpFormat, StatusKindLabels) {
  const char* labels[] = {"(Not active)",         "(Modem status)", "(Line status)",
                          "(Output buffer free)", "(Output buffer used)", "(Output sent)"};
  for (uint8_t kind = 0; kind < 6; ++kind) EXPECT_EQ(StatusKindLabel(kind), labels[kind]);
  EXPECT_EQ(StatusKindLabel(6), "");
}

TEST(DumpFormat, LogEntryColumnsAndData) {
  EXPECT_EQ(FormatLogEntry(300, dtTrigger, dstAvail, "Trigger", "Avail", 3, {}, false, false),
            "0000.300  Trigger   Avail         00000003  \n");
  EXPECT_EQ(FormatLogEntry(1, dtTriggerDataChange, dstTimerTrigger, "TrDatChg", "Timer", -1,
                           Bytes(std::string("\x12\0\0\0", 4)), false, true),
            "0000.001  TrDatChg  Timer         FFFFFFFF  [12][00][00][00]\n");
  const uint8_t kind = stOutSent;
  EXPECT_EQ(FormatLogEntry(0, dtTriggerAlloc, dstStatusTrigger, "TrigAllc", "Status", 45,
                           {&kind, 1}, false, false),
            "0000.000  TrigAllc  Status        0000002D  (Output sent)\n");
}

TEST(DumpFormat, LogDataWrapsOntoIndentedLines) {
  const std::string data(70, 'd');
  const auto lines = Lines(FormatLogEntry(0, dtDispatch, dstReadCom, "Dispatch", "ReadCom", 70,
                                          Bytes(data), false, false));
  ASSERT_EQ(lines.size(), 3u);
  // The count starts at 45 and a line ends when it reaches 79: 33 bytes on the first line.
  EXPECT_EQ(lines[0].size(), 44u + 33u);
  EXPECT_EQ(lines[1], std::string(44, ' ') + std::string(33, 'd'));
  EXPECT_EQ(lines[2], std::string(44, ' ') + std::string(4, 'd'));
}

TEST(DumpFormat, LogHeader) {
  std::tm when{};
  when.tm_year = 124;
  when.tm_mon = 2;
  when.tm_mday = 7;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 3;
  EXPECT_EQ(FormatLogHeader("Linux 6.1 (x86_64)", "COM7", when),
            "TALO v4.06\n"
            "Compiler : Unknown\n"
            "Operating System : Linux 6.1 (x86_64)\n"
            "Device: COM7\n"
            "Date/time: 07/03/24, 09:05:03\n"
            "Time      Type      SubType       Data      OtherData\n"
            "--------  --------  ------------  --------  ---------\n");
}

class DispatcherRecording : public ::testing::Test {
protected:
  fs::path dir;
  TTestClock clock{5000000};
  TFakeDispatcher port;

  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("dravik-dump-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    ASSERT_EQ(port.OpenDefault(), 0);
    port.SetDeviceName("COM7");
  }
  void TearDown() override { fs::remove_all(dir); }

  static std::string FileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Receive(const std::string& bytes) {
    port.Feed(bytes);
    port.SignalEvent(EV_RXCHAR);
    port.DispatchPass();
    uint8_t byte;
    for (size_t i = 0; i < bytes.size(); ++i) port.ReadByte(byte);
  }
};

TEST_F(DispatcherRecording, TraceKeepsTheNewestEntriesOldestFirst) {
  ASSERT_EQ(port.StartTrace(3), 0);
  ASSERT_EQ(port.WriteBytes("abcde", 5), 0);
  EXPECT_EQ(port.DumpTrace((dir / "t.trc").string(), false, false, false), 0);
  EXPECT_EQ(FileText(dir / "t.trc"), "Transmit: \ncde\n");
  // The dump ended the trace.
  ASSERT_EQ(port.WriteBytes("x", 1), 0);
  EXPECT_EQ(port.DumpTrace((dir / "u.trc").string(), false, false, false), 0);
  EXPECT_FALSE(fs::exists(dir / "u.trc"));
}

TEST_F(DispatcherRecording, EmptyTraceWritesNoFile) {
  ASSERT_EQ(port.StartTrace(10), 0);
  EXPECT_EQ(port.DumpTrace((dir / "t.trc").string(), false, false, false), 0);
  EXPECT_FALSE(fs::exists(dir / "t.trc"));
}

TEST_F(DispatcherRecording, ReadsAndWritesMakeAlternatingBlocksAndAppendAddsToTheFile) {
  ASSERT_EQ(port.StartTrace(100), 0);
  port.WriteBytes("go ", 3);
  Receive("ok");
  port.WriteBytes("!", 1);
  const fs::path file = dir / "t.trc";
  ASSERT_EQ(port.DumpTrace(file.string(), false, false, true), 0);
  EXPECT_EQ(FileText(file), "Transmit: \ngo[20]\n\nReceive: \nok\n\nTransmit: \n!\n");
  ASSERT_EQ(port.StartTrace(100), 0);
  port.WriteBytes("a", 1);
  ASSERT_EQ(port.DumpTrace(file.string(), true, false, false), 0);
  EXPECT_EQ(FileText(file), "Transmit: \ngo[20]\n\nReceive: \nok\n\nTransmit: \n!\nTransmit: \na\n");
}

TEST_F(DispatcherRecording, TraceRequestsAndFileErrors) {
  EXPECT_EQ(port.StartTrace(MaxTraceEntries + 1), ecBadArgument);
  ASSERT_EQ(port.StartTrace(10), 0);
  port.WriteBytes("a", 1);
  EXPECT_EQ(port.DumpTrace((dir / "missing" / "t.trc").string(), false, false, false), -3);
  // The ring went with the failed dump.
  EXPECT_EQ(port.DumpTrace((dir / "t.trc").string(), false, false, false), 0);
  EXPECT_FALSE(fs::exists(dir / "t.trc"));
}

TEST_F(DispatcherRecording, LogDumpHeaderAndEntries) {
  port.StartLog(4096);
  clock.Advance(300);
  port.SetAvailThreshold(2);
  const int status = port.NewStatusTrigger(stOutSent);
  Receive("hi");
  const fs::path file = dir / "l.log";
  ASSERT_EQ(port.DumpLog(file.string(), false, false, false), 0);
  const auto lines = Lines(FileText(file));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "TALO v4.06");
  EXPECT_EQ(lines[1], "Compiler : Unknown");
  EXPECT_TRUE(lines[2].starts_with("Operating System : ")) << lines[2];
  EXPECT_GT(lines[2].size(), std::string("Operating System : ").size());
  EXPECT_EQ(lines[3], "Device: COM7");
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(Date/time: \d\d/\d\d/\d\d, \d\d:\d\d:\d\d)")))
      << lines[4];
  EXPECT_EQ(lines[7], "0000.300  TrDatChg  Avail         00000002  ");
  char allocation[80];
  std::snprintf(allocation, sizeof allocation, "0000.300  TrigAllc  Status        %08X  (Output sent)",
                status);
  EXPECT_EQ(lines[8], allocation);
  EXPECT_EQ(lines[9], "0000.300  Dispatch  ReadCom       00000002  hi");
  EXPECT_EQ(lines[10], "0000.300  Trigger   Avail         00000002  ");
}

TEST_F(DispatcherRecording, FullLogDropsTheOldestEntriesFirst) {
  port.StartLog(16 * 5 + 8);  // room for five entries without data
  for (int i = 1; i <= 12; ++i) port.AddLogEntry(dtTrigger, dstTimer, 0, nullptr, i);
  const fs::path file = dir / "l.log";
  ASSERT_EQ(port.DumpLog(file.string(), false, false, false), 0);
  const auto lines = Lines(FileText(file));
  ASSERT_EQ(lines.size(), 7u + 5u);
  for (int i = 0; i < 5; ++i) {
    char value[16];
    std::snprintf(value, sizeof value, "%08X  ", 8 + i);
    EXPECT_TRUE(lines[7 + i].ends_with(value)) << lines[7 + i];
  }
}

TEST_F(DispatcherRecording, DataTooLargeForTheRingKeepsTheEntryWithoutIt) {
  port.StartLog(64);
  port.AddLogEntry(dtTrigger, dstTimer, 0, nullptr, 1);
  const std::string big(60, 'x');
  port.AddLogEntry(dtDispatch, dstReadCom, static_cast<uint32_t>(big.size()), big.data(), 60);
  port.AddLogEntry(dtTrigger, dstTimer, 0, nullptr, 3);
  const fs::path file = dir / "l.log";
  ASSERT_EQ(port.DumpLog(file.string(), false, false, false), 0);
  const auto lines = Lines(FileText(file));
  ASSERT_EQ(lines.size(), 7u + 3u);
  EXPECT_EQ(lines[8], "0000.000  Dispatch  ReadCom       0000003C  ");
  EXPECT_TRUE(lines[9].ends_with("00000003  "));
}

TEST_F(DispatcherRecording, LogFileErrorKeepsTheLogAndAnEmptyLogWritesNothing) {
  port.StartLog(1024);
  port.SetAvailThreshold(1);
  EXPECT_EQ(port.DumpLog((dir / "missing" / "l.log").string(), false, false, false), -3);
  const fs::path file = dir / "l.log";
  EXPECT_EQ(port.DumpLog(file.string(), false, false, false), 0);
  EXPECT_EQ(Lines(FileText(file)).size(), 8u);
  port.StartLog(1024);
  EXPECT_EQ(port.DumpLog((dir / "empty.log").string(), false, false, false), 0);
  EXPECT_FALSE(fs::exists(dir / "empty.log"));
}

}  // namespace
