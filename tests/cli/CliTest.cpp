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

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/CsvReader.h"
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

QJsonDocument Json(const ProgramRun& run) { return QJsonDocument::fromJson(QByteArray::fromStdString(run.out)); }

// Each test keeps its read-outs in an archive of its own.
class CliArchive : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    ::setenv("DRAVIK_ARCHIVE", Archive().c_str(), 1);
  }
  std::string Archive() const { return folder.filePath(QStringLiteral("archive.sqlite")).toStdString(); }
  QTemporaryDir folder;
};

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

TEST_F(CliArchive, ReadsPrintsAndSaysNothingInAPipe) {
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const ProgramRun run = Dravik({"read", "--port", std::to_string(sim.Number()), "--no-archive"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "") << "no progress and no messages when standard error is not a terminal";
  for (const char* text : {"dravik+, serial 0123", "Software Version: d", "65.0 %g", "29.1 mtr", "Right 5 deg"})
    EXPECT_TRUE(Contains(run.out, text)) << text << " in\n" << run.out;
}

TEST_F(CliArchive, SetsTheClockAndClearsWithYesOnly) {
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

// --- Formats and the archive -------------------------------------------------------------------

TEST_F(CliArchive, ReadKeepsTheReadOutAndPrintsItAsJsonOrCsv) {
  SimProcess sim({QStringLiteral("--config"), QStringLiteral(DRAVIK_SIM_INSTRUMENTS "/plain-imperial.json")});
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const std::string port = std::to_string(sim.Number());
  const ProgramRun json = Dravik({"read", "--port", port, "--format", "json", "--regime", "UK MOT class 4, other"});
  ASSERT_EQ(json.status, 0) << json.err;
  const QJsonObject r = Json(json).object();
  EXPECT_EQ(r[QStringLiteral("format")], QStringLiteral("dravik-readout/1"));
  EXPECT_EQ(r[QStringLiteral("id")].toInt(), 1);
  EXPECT_EQ(r[QStringLiteral("instrument")][QStringLiteral("model")], QStringLiteral("dravik"));
  const QJsonArray tests = r[QStringLiteral("tests")].toArray();
  ASSERT_EQ(tests.size(), 1) << "a plain instrument shows test 1 only";
  EXPECT_EQ(tests[0][QStringLiteral("peak")][QStringLiteral("text")], QStringLiteral("61.0 %g"));
  EXPECT_EQ(tests[0][QStringLiteral("peak")][QStringLiteral("value")].toDouble(), 61.0);
  EXPECT_TRUE(tests[0][QStringLiteral("speed")].isUndefined()) << "the plain model shows no speed";
  EXPECT_EQ(tests[0][QStringLiteral("verdict")], QStringLiteral("not assessed"));

  // The same read-out again adds nothing; --no-archive keeps nothing either.
  const ProgramRun csv = Dravik({"read", "--port", port, "--format", "csv", "--no-archive"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const CsvTable table = ReadCsv(csv.out);
  ASSERT_TRUE(table.ok);
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0][1], "serial");
  EXPECT_EQ(table.rows[1][1], "0042");
  const ProgramRun list = Dravik({"records", "list", "--format", "json"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(Json(list).array().size(), 1);
}

TEST_F(CliArchive, TheRecordsCommandsShowExportAnnotateAndPrint) {
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  ASSERT_EQ(Dravik({"read", "--port", std::to_string(sim.Number()), "--no-archive"}).status, 0);
  ASSERT_EQ(Dravik({"read", "--port", std::to_string(sim.Number())}).status, 0);
  const ProgramRun annotate = Dravik({"records", "annotate", "1", "--vehicle", "=HYPERLINK(1)", "--examiner", "Smith"});
  ASSERT_EQ(annotate.status, 0) << annotate.err;

  const ProgramRun show = Dravik({"records", "show", "1", "--format", "json"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(Json(show).object()[QStringLiteral("examiner")], QStringLiteral("Smith"));
  const std::string exported = folder.filePath(QStringLiteral("out.csv")).toStdString();
  const ProgramRun exportRun = Dravik({"records", "export", "--vehicle", "=hyperlink(1)", "--format", "csv", "-o", exported});
  ASSERT_EQ(exportRun.status, 0) << exportRun.err;
  std::ifstream file(exported, std::ios::binary);
  const CsvTable table = ReadCsv(std::string(std::istreambuf_iterator<char>(file), {}));
  ASSERT_EQ(table.rows.size(), 4u) << "a header and the three tests";
  EXPECT_EQ(table.rows[1][3], "'=HYPERLINK(1)") << "a formula-looking registration comes back guarded";
  EXPECT_EQ(Dravik({"records", "export", "--vehicle", "nothing", "--format", "json"}).out, "[\n]\n");

  const std::string pdf = folder.filePath(QStringLiteral("report.pdf")).toStdString();
  const ProgramRun report = Dravik({"records", "report", "1", "-o", pdf});
  ASSERT_EQ(report.status, 0) << report.err;
  const ProgramRun text = RunProgram({"/usr/bin/pdftotext", pdf, "-"});
  EXPECT_TRUE(Contains(text.out, "dravik+ Test Report")) << text.out;
  EXPECT_TRUE(Contains(text.out, "Smith")) << text.out;

  EXPECT_EQ(Dravik({"records", "show", "7"}).status, 2) << "no such read-out";
  EXPECT_EQ(Dravik({"records", "list", "--since", "2026-13-01"}).status, 2) << "a bad date";
  EXPECT_EQ(Dravik({"records", "report", "1"}).status, 2) << "no -o";
  EXPECT_EQ(Dravik({"records", "annotate", "1"}).status, 2) << "nothing to attach";
  EXPECT_EQ(Dravik({"read", "--port", "7", "--regime", "no such"}).status, 2);
}

TEST_F(CliArchive, AnArchiveThatCannotBeWrittenEndsWithStatus5AndClearSendsNothing) {
  SimProcess sim;
  ASSERT_GT(sim.Number(), 0) << sim.Error();
  const std::string port = std::to_string(sim.Number());
  // Not a database: the archive refuses it and leaves it untouched.
  std::ofstream(Archive()) << "this is not an archive\n";
  const ProgramRun read = Dravik({"read", "--port", port});
  EXPECT_EQ(read.status, 5);
  EXPECT_TRUE(Contains(read.out, "65.0 %g")) << "the read-out is printed all the same";
  EXPECT_FALSE(read.err.empty());

  const ProgramRun clear = Dravik({"clear", "--port", port, "--yes"});
  EXPECT_EQ(clear.status, 5);
  EXPECT_TRUE(Contains(clear.err, "Results could not be saved; the instrument was not cleared.")) << clear.err;
  EXPECT_EQ(sim.State()[QStringLiteral("tests")].toArray()[0][QStringLiteral("peak")].toInt(), 650) << "not erased";
  EXPECT_EQ(Dravik({"records", "list"}).status, 5);
}

}  // namespace
