// dravik-tour end to end: the real program classes against the real simulator, as
// scripts/demo.sh runs it on a machine without a display. A run must exit 0 only when every step
// did what it says (a picture, a readable report of the right variant, the results erased and
// read again), and a run that cannot do a step must fail with that step named.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>

#include "platform/portmap.h"
#include "tests/support/PdfText.h"

namespace {

struct TourRun {
  int exitCode = -1;
  bool finished = false;
  QString out;
  QString err;
};

TourRun RunTour(const QStringList& args) {
  QProcess process;
  process.start(QStringLiteral(DRAVIK_TOUR_EXE), args);
  TourRun run;
  run.finished = process.waitForFinished(180000);
  if (!run.finished) process.kill();
  process.waitForFinished(5000);
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

QString Instrument(const char* file) { return QStringLiteral(DRAVIK_SIM_INSTRUMENTS "/") + QLatin1String(file); }

// The simulator the tour started has gone and taken its port link with it. (Tests of this
// executable may run side by side: the number may by now belong to another one's simulator.)
void ExpectSimulatorGone(const TourRun& run) {
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("COM (\\d+) on (\\S+)")).match(run.out);
  if (!m.hasMatch()) return;  // it never started
  const std::filesystem::path link =
      std::filesystem::path(platform::DeviceMapFolder()) / ("com" + m.captured(1).toStdString());
  std::error_code none;
  const std::filesystem::path target = std::filesystem::read_symlink(link, none);
  EXPECT_TRUE(none || target.string() != m.captured(2).toStdString()) << link << " still points at the tour's pty";
}

std::string Output(const TourRun& run) { return (run.out + run.err).toStdString(); }

struct Success {
  const char* name;
  QStringList simArgs;
  const char* title;          // the report's document title
  QStringList reportWords;    // words the report must hold
  QStringList absentWords;    // words it must not
  bool records = false;       // and the last step: dravik-records reprints the kept read-out
};

void PrintTo(const Success& c, std::ostream* os) { *os << c.name; }

class TourSucceeds : public ::testing::TestWithParam<Success> {};

TEST_P(TourSucceeds, EveryStepDoesWhatItSays) {
  const Success& c = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Folders that do not exist yet are made.
  const QString window = dir.filePath(QStringLiteral("pictures/window.png"));
  const QString report = dir.filePath(QStringLiteral("reports/report.pdf"));
  const QString reprint = dir.filePath(QStringLiteral("reports/reprint.pdf"));
  QStringList args{QStringLiteral("--window"), window, QStringLiteral("--report"), report};
  if (c.records) args << QStringLiteral("--records") << reprint;
  if (!c.simArgs.isEmpty()) args << QStringLiteral("--") << c.simArgs;

  const TourRun run = RunTour(args);
  ASSERT_TRUE(run.finished) << Output(run);
  ASSERT_EQ(run.exitCode, 0) << Output(run);
  EXPECT_EQ(run.out.count(QRegularExpression(QStringLiteral("\\] .* \\.\\.\\. ok "))), c.records ? 9 : 8) << Output(run);
  EXPECT_TRUE(run.out.contains(window) && run.out.contains(report)) << "the files are not named: " << Output(run);
  EXPECT_TRUE(run.err.isEmpty() || !run.err.contains(QStringLiteral("dravik-tour"))) << Output(run);
  EXPECT_TRUE(run.out.contains(QStringLiteral("results erased"))) << Output(run);

  const QImage picture(window);
  ASSERT_FALSE(picture.isNull()) << window.toStdString();
  EXPECT_GT(picture.width(), 400);
  EXPECT_GT(picture.height(), 300);

  const PdfText pdf = ReadPdfText(report);
  ASSERT_TRUE(pdf.ok) << report.toStdString();
  EXPECT_EQ(pdf.title, QLatin1String(c.title));
  const QStringList words = pdf.Texts();
  for (const QString& word : c.reportWords) EXPECT_TRUE(words.contains(word)) << word.toStdString();
  for (const QString& word : c.absentWords) EXPECT_FALSE(words.contains(word)) << word.toStdString();
  if (c.records) {
    // The archive's reprint of the read-out the window printed: the same report, word for word.
    const PdfText again = ReadPdfText(reprint);
    ASSERT_TRUE(again.ok) << Output(run);
    EXPECT_EQ(again.title, pdf.title);
    EXPECT_EQ(again.Texts().join(QLatin1Char(' ')).toStdString(), words.join(QLatin1Char(' ')).toStdString());
  }
  ExpectSimulatorGone(run);
}

INSTANTIATE_TEST_SUITE_P(
    Instruments, TourSucceeds,
    ::testing::Values(
        // The default simulator is a plus model: three test columns, read before "CLEAR".
        Success{"plus", {}, "dravik+ printout", {"0123", "65.0", "37.0", "24.0", "AB12", "CDE", "Smith", "ramp."}, {}, true},
        Success{"plain", {QStringLiteral("--config"), Instrument("plain-imperial.json")}, "dravik printout",
                {"0042", "61.0", "52.0", "AB12", "Smith"}, {"Speed", "Distance", "Stop"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct Failure {
  const char* name;
  QStringList args;
  int exitCode;
  const char* failedStep;  // the step the message names; empty for a usage error
  const char* why;         // part of the message
};

void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class TourFails : public ::testing::TestWithParam<Failure> {};

TEST_P(TourFails, NamesTheStepThatFailed) {
  const Failure& c = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QStringList args{QStringLiteral("--window"), dir.filePath(QStringLiteral("w.png")), QStringLiteral("--report"),
                   dir.filePath(QStringLiteral("r.pdf"))};
  args << c.args;
  const TourRun run = RunTour(args);
  ASSERT_TRUE(run.finished) << Output(run);
  EXPECT_EQ(run.exitCode, c.exitCode) << Output(run);
  if (*c.failedStep) {
    EXPECT_TRUE(run.err.contains(QStringLiteral("\"%1\" failed").arg(QLatin1String(c.failedStep))))
        << Output(run);
  }
  EXPECT_TRUE(run.err.contains(QLatin1String(c.why))) << Output(run);
  EXPECT_FALSE(run.out.contains(QStringLiteral("Every step succeeded"))) << Output(run);
  ExpectSimulatorGone(run);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TourFails,
    ::testing::Values(
        Failure{"SimulatorMissing", {"--sim", "/nonexistent/dravik-sim"}, 1, "start dravik-sim", "cannot start"},
        Failure{"SimulatorRefusesItsOptions", {"--", "--model", "bogus"}, 1, "start dravik-sim", "'model' must be"},
        // An instrument that never answers: no connected view, and no message box either.
        Failure{"InstrumentNeverAnswers", {"--step-timeout", "4", "--", "--fault", "noreply"}, 1, "connect",
                "did not appear within 4 s"},
        // After the first read-out it stops answering result-block requests: "CLEAR" erases, but
        // the results are never read again.
        Failure{"ResultsNotReadAgain", {"--step-timeout", "6", "--", "--fault", "noreply@8#7*1000"}, 1,
                "press CLEAR and read the instrument again", "was not read again within 6 s"},
        Failure{"ReportFolderUnwritable", {"--report", "/dev/null/r.pdf"}, 1, "print the report", "cannot create"},
        Failure{"UnknownOption", {"--colour"}, 2, "", "unknown option: --colour"},
        // --port uses an instrument already there (the Windows tour under Wine): none on COM 250.
        Failure{"NothingOnTheGivenPort", {"--step-timeout", "2", "--port", "250"}, 1, "open the window", "COM 250 is not in the window's port list"},
        Failure{"PortOutOfRange", {"--port", "0"}, 2, "", "--port takes a COM number from 1 to 255"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
