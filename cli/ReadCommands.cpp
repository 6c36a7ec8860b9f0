// dravik read, set-time and clear: one instrument conversation each, through InstrumentRun.
#include <QDateTime>
#include <optional>
#include <variant>

#include "cli/CommandLine.h"
#include "cli/ExitStatus.h"
#include "cli/InstrumentCommands.h"
#include "cli/InstrumentRun.h"
#include "cli/CliArchive.h"
#include "cli/ReadoutOutput.h"

namespace {

constexpr int kDefaultTimeoutSeconds = 10;

// --port and --timeout, which every instrument command takes.
void AddInstrumentOptions(CommandParser& p) {
  p.parser.addOption({QStringLiteral("port"), QStringLiteral("The COM number of the instrument (see dravik ports)."),
                      QStringLiteral("N")});
  p.parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Seconds to wait for a complete read-out (default %1).").arg(kDefaultTimeoutSeconds),
                      QStringLiteral("SECONDS"), QString::number(kDefaultTimeoutSeconds)});
}

struct InstrumentOptions {
  int port = 0;
  int timeoutMs = 0;
};

// The options every instrument command takes, or the exit status of a usage error.
std::variant<InstrumentOptions, int> ReadInstrumentOptions(const CommandParser& p) {
  if (!p.parser.positionalArguments().isEmpty())
    return UsageError(p.command, QStringLiteral("unexpected argument \"%1\"").arg(p.parser.positionalArguments()[0]));
  if (!p.parser.isSet(QStringLiteral("port"))) return UsageError(p.command, QStringLiteral("--port N is needed"));
  const auto port = IntOption(p, QStringLiteral("port"), 1, 255);
  const auto timeout = IntOption(p, QStringLiteral("timeout"), 1, 3600);
  if (!port || !timeout) return static_cast<int>(kExitUsage);
  return InstrumentOptions{*port, *timeout * 1000};
}

// The read-out the session now holds, as it is kept and printed.
protocol::ReadoutRecord RecordOf(const InstrumentRun& run, InstrumentSession& session) {
  protocol::ReadoutRecord record;
  record.port = run.Port();
  record.state = session.State();
  record.readAtUtcMs = record.state.completedAtUtcMs.value_or(QDateTime::currentMSecsSinceEpoch());
  return record;
}

// Opens the port and waits for the first complete read-out; the exit status when that fails.
std::optional<int> StartAndRead(InstrumentRun& run, const InstrumentOptions& o) {
  QString why;
  if (!run.Open(why)) {
    Say(why);
    return kExitPortFailed;
  }
  if (run.AwaitReadout(o.timeoutMs)) return std::nullopt;
  Say(QStringLiteral("no complete read-out from COM %1 within %2 s; %3")
          .arg(o.port)
          .arg(o.timeoutMs / 1000)
          .arg(run.LastReceived()));
  return kExitNoReadout;
}

// Keeps `record` in `archive` (its id then set); false with the reason said.
bool KeepRecord(archive::Archive& archive, protocol::ReadoutRecord& record) {
  const std::optional<archive::KeepResult> kept = archive.Keep(record);
  if (!kept) {
    Say(QStringLiteral("dravik: ") + ArchiveProblem(archive, "written"));
    return false;
  }
  record.id = kept->id;
  return true;
}

// After a command that restarts the read-out ("set time", "CLEAR"): its read-out back.
std::optional<int> ReadBack(InstrumentRun& run, const InstrumentOptions& o, const char* what) {
  if (run.AwaitReadout(o.timeoutMs)) return std::nullopt;
  Say(QStringLiteral("%1 was sent, but no complete read-out followed within %2 s; %3")
          .arg(QLatin1String(what))
          .arg(o.timeoutMs / 1000)
          .arg(run.LastReceived()));
  return kExitNoReadout;
}

}  // namespace

int RunRead(const QStringList& args) {
  CommandParser p(QStringLiteral("read"), QStringLiteral("Read the instrument on COM N, keep the read-out and print it."));
  AddInstrumentOptions(p);
  p.parser.addOption({QStringLiteral("format"), QStringLiteral("text, json or csv (default text)."),
                      QStringLiteral("format"), QStringLiteral("text")});
  p.parser.addOption({QStringLiteral("no-archive"), QStringLiteral("Do not keep the read-out in the archive.")});
  AddRegimeOption(p);
  if (const auto end = ParseCommand(p, args)) return *end;
  const auto options = ReadInstrumentOptions(p);
  if (const int* status = std::get_if<int>(&options)) return *status;
  const InstrumentOptions& o = std::get<InstrumentOptions>(options);
  const auto format = FormatOption(p, {QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("csv")});
  if (!format) return kExitUsage;
  int status = kExitDone;
  const std::optional<protocol::Regime> regime = RegimeOption(p, status);
  if (status != kExitDone) return status;

  InstrumentRun run(o.port);
  if (const auto end = StartAndRead(run, o)) return *end;
  protocol::ReadoutRecord record = RecordOf(run, run.Session());
  // The read-out is printed whether or not it could be kept.
  if (!p.parser.isSet(QStringLiteral("no-archive"))) {
    CliArchive kept = OpenCliArchive(archive::Archive::Mode::ReadWrite);
    if (!kept.error.isEmpty()) {
      Say(QStringLiteral("dravik: ") + kept.error);
      status = kExitArchiveFailed;
    } else if (kept.archive && !KeepRecord(*kept.archive, record)) {
      status = kExitArchiveFailed;
    }
  }
  WriteOutput(FormatReadout(record, *format, regime ? &*regime : nullptr), QString());
  return status;
}

int RunSetTime(const QStringList& args) {
  CommandParser p(QStringLiteral("set-time"),
                  QStringLiteral("Set the instrument's clock to the PC's local time, read it back and print it."));
  AddInstrumentOptions(p);
  if (const auto end = ParseCommand(p, args)) return *end;
  const auto options = ReadInstrumentOptions(p);
  if (const int* status = std::get_if<int>(&options)) return *status;
  const InstrumentOptions& o = std::get<InstrumentOptions>(options);

  InstrumentRun run(o.port);
  if (const auto end = StartAndRead(run, o)) return *end;
  run.Session().SetTime();
  if (const auto end = ReadBack(run, o, "set time")) return *end;
  Print(QString::fromLatin1(run.Session().State().clockText.c_str()));
  return kExitDone;
}

int RunClear(const QStringList& args) {
  CommandParser p(QStringLiteral("clear"),
                  QStringLiteral("Read the instrument, keep its results, erase them (\"CLEAR\") and read it back."));
  AddInstrumentOptions(p);
  p.parser.addOption({QStringLiteral("yes"), QStringLiteral("Yes, erase the instrument's results.")});
  if (const auto end = ParseCommand(p, args)) return *end;
  const auto options = ReadInstrumentOptions(p);
  if (const int* status = std::get_if<int>(&options)) return *status;
  const InstrumentOptions& o = std::get<InstrumentOptions>(options);
  if (!p.parser.isSet(QStringLiteral("yes")))
    return UsageError(p.command, QStringLiteral("this erases the instrument's results for good: add --yes to go ahead"));
  // Nothing is erased that was not kept: without a usable archive nothing is sent.
  CliArchive kept = OpenCliArchive(archive::Archive::Mode::ReadWrite);
  if (!kept.error.isEmpty()) {
    Say(QStringLiteral("dravik: %1\n%2").arg(QString::fromStdString(kEraseRefused), kept.error));
    return kExitArchiveFailed;
  }

  InstrumentRun run(o.port);
  if (const auto end = StartAndRead(run, o)) return *end;
  if (kept.archive) {
    run.Session().BeforeErase = [&](std::string& reason) {
      protocol::ReadoutRecord record = RecordOf(run, run.Session());
      if (kept.archive->Keep(record)) return true;
      reason = ArchiveProblem(*kept.archive, "written").toStdString();
      return false;
    };
  }
  if (!run.Session().ClearResults()) return kExitArchiveFailed;  // told by the session's failure
  if (const auto end = ReadBack(run, o, "CLEAR")) return *end;
  protocol::ReadoutRecord after = RecordOf(run, run.Session());
  if (kept.archive && !KeepRecord(*kept.archive, after)) return kExitArchiveFailed;
  WriteOutput(FormatReadout(after, ReadoutFormat::Text, nullptr), QString());
  return kExitDone;
}
