// The real dravik executable against dravik-sim over ptys: every exit status, what goes to
// standard output and what to standard error, a plus and a plain instrument, a silent one, a busy
// port and one that does not exist.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "tests/support/ChildProcess.h"
#include "tests/support/QtTestEnvironment.h"
#include "tests/support/SimProcess.h"

namespace {

::testing::Environment* const environment = RegisterQtTestEnvironment<QCoreApplication>();

ProgramRun Dravik(const std::vector<std::string>& args) {
  std::vector<std::string> argv{DRAVIK_CLI_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Cli, ListsThePortsAsTheWindowDoes) {
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const ProgramRun text = Dravik({"ports"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_TRUE(Contains(text.out, "COM " + std::to_string(sim.Number()) + "\t" + sim.Tty().toStdString() + "\n"))
      << text.out;
  const ProgramRun json = Dravik({"ports", "--format", "json"});
  ASSERT_EQ(json.status, 0) << json.err;
  bool found = false;
  for (const QJsonValue& port : QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).array())
    found = found || (port[QStringLiteral("port")].toInt() == sim.Number() && port[QStringLiteral("device")] == sim.Tty());
  EXPECT_TRUE(found) << json.out;
}

TEST(Cli, ReadsPrintsAndSaysNothingInAPipe) {
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const ProgramRun run = Dravik({"read", "--port", std::to_string(sim.Number()), "--no-archive"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "") << "no progress and no messages when standard error is not a terminal";
  for (const char* text : {"dravik+, serial 0123", "Software Version: d", "65.0 %g", "29.1 mtr", "Right 5 deg"})
    EXPECT_TRUE(Contains(run.out, text)) << text << " in\n" << run.out;
}

TEST(Cli, SetsTheClockAndClearsWithYesOnly) {
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const std::string port = std::to_string(sim.Number());
  const ProgramRun refused = Dravik({"clear", "--port", port});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Contains(refused.err, "--yes")) << refused.err;
  EXPECT_EQ(sim.State()[QStringLiteral("tests")].toArray()[0][QStringLiteral("peak")].toInt(), 650);

  const ProgramRun cleared = Dravik({"clear", "--port", port, "--yes"});
  ASSERT_EQ(cleared.status, 0) << cleared.err;
  EXPECT_EQ(sim.State()[QStringLiteral("tests")].toArray()[0][QStringLiteral("peak")].toInt(), 0);
  EXPECT_TRUE(Contains(cleared.out, "0.0 %g")) << "the read-back shows the erased results\n" << cleared.out;

  const QDateTime before = QDateTime::currentDateTime();
  const ProgramRun set = Dravik({"set-time", "--port", port});
  ASSERT_EQ(set.status, 0) << set.err;
  // "hh:mm dd-mm-yy" of the PC's local time, give or take the minute the command ran across.
  const QDateTime after = QDateTime::currentDateTime();
  const QString shown = QString::fromStdString(set.out).trimmed();
  EXPECT_TRUE(shown == before.toString(QStringLiteral("hh:mm dd-MM-yy")) ||
              shown == after.toString(QStringLiteral("hh:mm dd-MM-yy")))
      << set.out;
}

TEST(Cli, APortThatIsMissingOrBusyEndsWithStatus3) {
  const ProgramRun missing = Dravik({"read", "--port", "250"});
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.err, "Problem opening comm port\nCOM 250: no such port\n");
  EXPECT_EQ(missing.out, "");

  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  ChildProcess holder({DRAVIK_PORT_HOLDER_EXE, std::to_string(sim.Number())});
  ASSERT_EQ(holder.ReadLine(), "held");
  const ProgramRun busy = Dravik({"read", "--port", std::to_string(sim.Number())});
  EXPECT_EQ(busy.status, 3);
  EXPECT_TRUE(Contains(busy.err, "Problem opening comm port\nCOM " + std::to_string(sim.Number()) +
                                     " is in use by another program"))
      << busy.err;
}

TEST(Cli, ASilentInstrumentEndsWithStatus4AndSaysWhatCame) {
  SimProcess sim({QStringLiteral("--fault"), QStringLiteral("noreply")});
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const ProgramRun run = Dravik({"read", "--port", std::to_string(sim.Number()), "--timeout", "2"});
  EXPECT_EQ(run.status, 4);
  EXPECT_TRUE(Contains(run.err, "no complete read-out from COM " + std::to_string(sim.Number()) +
                                    " within 2 s; nothing was received"))
      << run.err;
}

TEST(Cli, UsageErrorsEndWithStatus2) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"bogus"},
      {"read"},
      {"read", "--port", "x"},
      {"read", "--port", "7", "--timeout", "0"},
      {"read", "--port", "7", "--colour"},
      {"read", "--port", "7", "--format", "xml"},
      {"ports", "extra"},
  };
  for (const auto& args : wrong) {
    const ProgramRun run = Dravik(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? std::string("(none)") : args[0]) << ": " << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(run.err.empty());
  }
  const ProgramRun help = Dravik({"read", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Contains(help.out, "--port")) << help.out;
  const ProgramRun version = Dravik({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(Contains(version.out, "dravik 1.")) << version.out;
}

}  // namespace
