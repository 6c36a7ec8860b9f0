// dravik records ... and dravik regimes: the archive as the records window shows it, for scripts.
#include "cli/RecordsCommands.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>
#include <functional>
#include <map>

#include "cli/CliArchive.h"
#include "cli/CommandLine.h"
#include "cli/ExitStatus.h"
#include "cli/ReadoutOutput.h"
#include "protocol/ExportFields.h"
#include "protocol/json/RegimeFile.h"
#include "report/RecordReport.h"

namespace {

// ---- Filters -----------------------------------------------------------------------------

void AddFilterOptions(CommandParser& p) {
  p.parser.addOption({QStringLiteral("vehicle"), QStringLiteral("Read-outs of this registration (case and spaces ignored)."),
                      QStringLiteral("REG")});
  p.parser.addOption({QStringLiteral("serial"), QStringLiteral("Read-outs of the instrument with this serial number."),
                      QStringLiteral("XXXX")});
  p.parser.addOption({QStringLiteral("since"), QStringLiteral("Read-outs of this local day or later."),
                      QStringLiteral("YYYY-MM-DD")});
  p.parser.addOption({QStringLiteral("until"), QStringLiteral("Read-outs of this local day or earlier."),
                      QStringLiteral("YYYY-MM-DD")});
}

// The start of local day `text` in ms since 1970 UTC, or nothing with a usage message.
std::optional<int64_t> DayStart(const CommandParser& p, const QString& option, int daysLater) {
  const QDate day = QDate::fromString(p.parser.value(option), QStringLiteral("yyyy-MM-dd"));
  if (!day.isValid()) {
    UsageError(p.command, QStringLiteral("--%1 takes a date YYYY-MM-DD, not \"%2\"").arg(option, p.parser.value(option)));
    return std::nullopt;
  }
  return day.addDays(daysLater).startOfDay().toMSecsSinceEpoch();
}

std::optional<archive::ReadoutFilter> FilterOptions(const CommandParser& p) {
  archive::ReadoutFilter filter;
  if (p.parser.isSet(QStringLiteral("vehicle"))) {
    // A script names a whole registration; the records window's search field takes a part.
    filter.vehicle = p.parser.value(QStringLiteral("vehicle")).toStdString();
    filter.vehicleExact = true;
  }
  if (p.parser.isSet(QStringLiteral("serial"))) filter.serial = p.parser.value(QStringLiteral("serial")).toStdString();
  if (p.parser.isSet(QStringLiteral("since"))) {
    filter.sinceUtcMs = DayStart(p, QStringLiteral("since"), 0);
    if (!filter.sinceUtcMs) return std::nullopt;
  }
  if (p.parser.isSet(QStringLiteral("until"))) {
    filter.untilUtcMs = DayStart(p, QStringLiteral("until"), 1);  // up to the end of that day
    if (!filter.untilUtcMs) return std::nullopt;
  }
  return filter;
}

// ---- Reading the archive -----------------------------------------------------------------

// The archive for reading, or the exit status: 5 when it cannot be read. An archive not made
// yet holds no read-outs (not an error).
std::variant<CliArchive, int> ReadableArchive() {
  CliArchive a = OpenCliArchive(archive::Archive::Mode::ReadOnly);
  if (!a.error.isEmpty()) {
    Say(QStringLiteral("dravik: ") + a.error);
    return static_cast<int>(kExitArchiveFailed);
  }
  if (a.off) {
    Say(QStringLiteral("dravik: the archive is off (DRAVIK_ARCHIVE=off)"));
    return static_cast<int>(kExitArchiveFailed);
  }
  return a;
}

// The read-outs that match, oldest first; nothing (said) when the archive could not be read.
std::optional<std::vector<protocol::ReadoutRecord>> Matching(archive::Archive& a, const archive::ReadoutFilter& f) {
  std::vector<protocol::ReadoutRecord> records;
  if (a.Missing()) return records;
  const auto ids = a.Find(f);
  if (!ids) {
    Say(QStringLiteral("dravik: ") + ArchiveProblem(a, "read"));
    return std::nullopt;
  }
  for (const int64_t id : *ids) {
    auto record = a.Load(id);
    if (!record) {
      Say(QStringLiteral("dravik: ") + ArchiveProblem(a, "read"));
      return std::nullopt;
    }
    records.push_back(std::move(*record));
  }
  return records;
}

// The read-out of the command's ID argument, or the exit status (2: no such read-out).
std::variant<protocol::ReadoutRecord, int> OneRecord(const CommandParser& p, archive::Archive& a) {
  const QStringList ids = p.parser.positionalArguments();
  bool ok = false;
  const qint64 id = ids.size() == 1 ? ids[0].toLongLong(&ok) : 0;
  if (!ok || id <= 0) return UsageError(p.command, QStringLiteral("one read-out ID is needed (see dravik records list)"));
  if (!a.Missing())
    if (auto record = a.Load(id)) return std::move(*record);
  if (a.Missing() || a.NotFound()) return UsageError(p.command, QStringLiteral("the archive holds no read-out %1").arg(id));
  Say(QStringLiteral("dravik: ") + ArchiveProblem(a, "read"));
  return static_cast<int>(kExitArchiveFailed);
}

// One line a read-out: id, when (local), instrument, vehicle, examiner.
QByteArray ListText(const std::vector<protocol::ReadoutRecord>& records) {
  QString text;
  for (const protocol::ReadoutRecord& r : records)
    text += QStringLiteral("%1  %2  %3 %4  %5  %6\n")
                .arg(r.id.value_or(0), 6)
                .arg(QDateTime::fromMSecsSinceEpoch(r.readAtUtcMs).toString(QStringLiteral("yyyy-MM-dd hh:mm")))
                .arg(QString::fromLatin1(r.state.serial.c_str()), QString::fromLatin1(protocol::ModelName(r.state)).leftJustified(7))
                .arg(QString::fromStdString(r.vehicle).leftJustified(12), QString::fromStdString(r.examiner));
  return text.toUtf8();
}

const QStringList kAllFormats{QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("csv")};

void AddFormatOption(CommandParser& p, const QString& def) {
  p.parser.addOption({QStringLiteral("format"), QStringLiteral("text, json or csv (default %1).").arg(def),
                      QStringLiteral("format"), def});
}

// ---- The subcommands -----------------------------------------------------------------------

int List(const QStringList& args) {
  CommandParser p(QStringLiteral("records list"), QStringLiteral("The kept read-outs that match, oldest first."));
  AddFilterOptions(p);
  AddFormatOption(p, QStringLiteral("text"));
  AddRegimeOption(p);
  if (const auto end = ParseCommand(p, args)) return *end;
  const auto filter = FilterOptions(p);
  const auto format = FormatOption(p, kAllFormats);
  int status = kExitDone;
  const auto regime = RegimeOption(p, status);
  if (!filter || !format || status != kExitDone) return status == kExitDone ? kExitUsage : status;
  auto opened = ReadableArchive();
  if (const int* end = std::get_if<int>(&opened)) return *end;
  const auto records = Matching(*std::get<CliArchive>(opened).archive, *filter);
  if (!records) return kExitArchiveFailed;
  const QByteArray out =
      *format == ReadoutFormat::Text ? ListText(*records) : FormatReadouts(*records, *format, regime ? &*regime : nullptr);
  WriteOutput(out, QString());
  return kExitDone;
}

int Show(const QStringList& args) {
  CommandParser p(QStringLiteral("records show"), QStringLiteral("One kept read-out, whole."));
  p.parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The read-out's id (see dravik records list)."));
  AddFormatOption(p, QStringLiteral("text"));
  AddRegimeOption(p);
  if (const auto end = ParseCommand(p, args)) return *end;
  const auto format = FormatOption(p, kAllFormats);
  int status = kExitDone;
  const auto regime = RegimeOption(p, status);
  if (!format || status != kExitDone) return status == kExitDone ? kExitUsage : status;
  auto opened = ReadableArchive();
  if (const int* end = std::get_if<int>(&opened)) return *end;
  auto record = OneRecord(p, *std::get<CliArchive>(opened).archive);
  if (const int* end = std::get_if<int>(&record)) return *end;
  WriteOutput(FormatReadout(std::get<protocol::ReadoutRecord>(record), *format, regime ? &*regime : nullptr), QString());
  return kExitDone;
}

int Export(const QStringList& args) {
  CommandParser p(QStringLiteral("records export"),
                  QStringLiteral("The kept read-outs that match, as CSV or JSON, to standard output or a file."));
  AddFilterOptions(p);
  p.parser.addOption({QStringLiteral("format"), QStringLiteral("csv or json."), QStringLiteral("format")});
  p.parser.addOption({{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("Write to FILE (whole or not at all)."),
                      QStringLiteral("FILE")});
  AddRegimeOption(p);
  if (const auto end = ParseCommand(p, args)) return *end;
  if (!p.parser.isSet(QStringLiteral("format"))) return UsageError(p.command, QStringLiteral("--format csv|json is needed"));
  const auto filter = FilterOptions(p);
  const auto format = FormatOption(p, {QStringLiteral("csv"), QStringLiteral("json")});
  int status = kExitDone;
  const auto regime = RegimeOption(p, status);
  if (!filter || !format || status != kExitDone) return status == kExitDone ? kExitUsage : status;
  auto opened = ReadableArchive();
  if (const int* end = std::get_if<int>(&opened)) return *end;
  const auto records = Matching(*std::get<CliArchive>(opened).archive, *filter);
  if (!records) return kExitArchiveFailed;
  return WriteOutput(FormatReadouts(*records, *format, regime ? &*regime : nullptr), p.parser.value(QStringLiteral("o")))
             ? kExitDone
             : kExitArchiveFailed;
}

int Report(const QStringList& args) {
  CommandParser p(QStringLiteral("records report"),
                  QStringLiteral("The printed report of one kept read-out, as the records window reprints it, into a PDF."));
  p.parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The read-out's id (see dravik records list)."));
  p.parser.addOption({{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("The PDF file to write."),
                      QStringLiteral("FILE.pdf")});
  if (const auto end = ParseCommand(p, args)) return *end;
  if (!p.parser.isSet(QStringLiteral("o"))) return UsageError(p.command, QStringLiteral("-o FILE.pdf is needed"));
  auto opened = ReadableArchive();
  if (const int* end = std::get_if<int>(&opened)) return *end;
  auto record = OneRecord(p, *std::get<CliArchive>(opened).archive);
  if (const int* end = std::get_if<int>(&record)) return *end;
  std::string error;
  if (PrintRecordToPdf(std::get<protocol::ReadoutRecord>(record), p.parser.value(QStringLiteral("o")), error))
    return kExitDone;
  Say(QStringLiteral("dravik: ") + QString::fromStdString(error));
  return kExitArchiveFailed;
}

int Annotate(const QStringList& args) {
  CommandParser p(QStringLiteral("records annotate"),
                  QStringLiteral("Attach the vehicle, the examiner or notes to a kept read-out (the latest text wins)."));
  p.parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The read-out's id (see dravik records list)."));
  p.parser.addOption({QStringLiteral("vehicle"), QStringLiteral("The vehicle registration."), QStringLiteral("TEXT")});
  p.parser.addOption({QStringLiteral("examiner"), QStringLiteral("The examiner's name."), QStringLiteral("TEXT")});
  p.parser.addOption({QStringLiteral("notes"), QStringLiteral("The notes."), QStringLiteral("TEXT")});
  if (const auto end = ParseCommand(p, args)) return *end;
  archive::Annotation annotation;
  const auto take = [&](const char* name, std::optional<std::string>& field) {
    if (p.parser.isSet(QLatin1String(name))) field = p.parser.value(QLatin1String(name)).toStdString();
  };
  take("vehicle", annotation.vehicle);
  take("examiner", annotation.examiner);
  take("notes", annotation.notes);
  if (annotation.empty()) return UsageError(p.command, QStringLiteral("give --vehicle, --examiner or --notes"));
  CliArchive a = OpenCliArchive(archive::Archive::Mode::ReadWrite);
  if (!a.error.isEmpty() || a.off) {
    Say(QStringLiteral("dravik: ") + (a.off ? QStringLiteral("the archive is off (DRAVIK_ARCHIVE=off)") : a.error));
    return kExitArchiveFailed;
  }
  auto record = OneRecord(p, *a.archive);
  if (const int* end = std::get_if<int>(&record)) return *end;
  if (a.archive->Annotate(*std::get<protocol::ReadoutRecord>(record).id, annotation)) return kExitDone;
  Say(QStringLiteral("dravik: ") + ArchiveProblem(*a.archive, "written"));
  return kExitArchiveFailed;
}

const std::map<QString, std::function<int(const QStringList&)>>& Subcommands() {
  static const std::map<QString, std::function<int(const QStringList&)>> subcommands{
      {QStringLiteral("list"), List},     {QStringLiteral("show"), Show},
      {QStringLiteral("export"), Export}, {QStringLiteral("report"), Report},
      {QStringLiteral("annotate"), Annotate},
  };
  return subcommands;
}

}  // namespace

bool NeedsWidgets(const QStringList& args) {
  return args.size() >= 2 && args[0] == QStringLiteral("records") && args[1] == QStringLiteral("report");
}

int RunRecords(const QStringList& args) {
  const QString usage = QStringLiteral(
      "Usage: dravik records list|show|export|report|annotate [options]\n"
      "\"dravik records <subcommand> --help\" describes one.");
  if (args.isEmpty() || args[0] == QStringLiteral("--help") || args[0] == QStringLiteral("-h")) {
    (args.isEmpty() ? Say(usage) : Print(usage));
    return args.isEmpty() ? kExitUsage : kExitDone;
  }
  const auto found = Subcommands().find(args[0]);
  if (found == Subcommands().end())
    return UsageError(QStringLiteral("records"), QStringLiteral("unknown subcommand \"%1\"").arg(args[0]));
  return found->second(args.mid(1));
}

int RunRegimes(const QStringList& args) {
  CommandParser p(QStringLiteral("regimes"), QStringLiteral("The regimes --regime can name: built in, then the user's file."));
  if (const auto end = ParseCommand(p, args)) return *end;
  const protocol_json::RegimeFile available = protocol_json::AvailableRegimes();
  if (!available.error.isEmpty()) Say(QStringLiteral("dravik: %1").arg(available.error));
  QString text;
  for (const protocol::Regime& regime : available.regimes) text += QString::fromStdString(regime.name) + QLatin1Char('\n');
  Print(text);
  return kExitDone;
}
