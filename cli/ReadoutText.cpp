// The text format of a read-out.
#include "cli/ReadoutText.h"

#include <QDateTime>
#include <QStringList>

#include "protocol/ExportFields.h"
#include "protocol/Protocol.h"

namespace {

QString Latin1(const std::string& text) { return QString::fromLatin1(text.c_str()).trimmed(); }

QString TrimEnd(QString text) {
  while (text.endsWith(QLatin1Char(' '))) text.chop(1);
  return text;
}

QString Box(bool checked, const char* caption) {
  return QStringLiteral("[%1] %2").arg(checked ? QLatin1Char('x') : QLatin1Char(' ')).arg(QLatin1String(caption));
}

QString InstrumentGroup(const protocol::ReadoutRecord& r) {
  const protocol::InstrumentState& s = r.state;
  const QString readAt =
      QDateTime::fromMSecsSinceEpoch(r.readAtUtcMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'"));
  QStringList lines;
  lines << QStringLiteral("Instrument and Calibration");
  lines << QStringLiteral("  %1, serial %2, on COM %3, read %4")
               .arg(s.plusModel() ? QStringLiteral("dravik+") : QStringLiteral("dravik"), Latin1(s.serial))
               .arg(r.port)
               .arg(readAt);
  if (r.id) lines << QStringLiteral("  kept in the archive as read-out %1").arg(*r.id);
  lines << QStringLiteral("  ") + Latin1(s.calibration.versionText);
  lines << QStringLiteral("  ") + QString::fromLatin1(s.calibration.calibText.c_str());
  lines << QStringLiteral("  ") + Latin1(s.calibration.byWhoText);
  lines << QStringLiteral("  Battery %1   Temp. %2").arg(Latin1(s.battText), Latin1(s.tempText));
  lines << QStringLiteral("  connected at %1").arg(Latin1(s.clockText));
  return lines.join(QLatin1Char('\n'));
}

QString ConfigurationGroup(const protocol::InstrumentState& s) {
  const decoders::FlagBoxes& b = s.configView.boxes;
  return QStringLiteral("Configuration (flags word %1)\n  %2  %3  %4  %5  %6")
      .arg(QString::fromStdString(protocol::Hex(s.config.flagsWord, 4)), Box(b.flags12, "3%g trigger"),
           Box(b.flags13, "LED is peak"), Box(b.flags14, "Metric Units"), Box(b.flags15, "%g readings"),
           Box(b.flags17, "Measure Pull"));
}

const char* RowLabel(protocol::Quantity q) {
  switch (q) {
    case protocol::Quantity::Peak: return "Peak Decel.";
    case protocol::Quantity::Mean: return "Mean Decel.";
    case protocol::Quantity::Speed: return "Test Speed";
    case protocol::Quantity::StopTime: return "Stop Time";
    case protocol::Quantity::Distance: return "Distance";
    case protocol::Quantity::PullAngle: return "Pull";
    case protocol::Quantity::PullSideways: return "Pull sideways";
  }
  return "";
}

// One row: its label, then one cell per shown test.
QString Row(const QString& label, const QStringList& cells) {
  QString line = QStringLiteral("  ") + label.leftJustified(14);
  for (const QString& cell : cells) line += cell.leftJustified(16);
  return TrimEnd(line);
}

// The tests the window shows, in columns: brake ticks, date and every shown box, and with a
// regime the verdicts.
QString ResultsGroup(const protocol::ReadoutRecord& r, const protocol::Regime* regime) {
  const std::vector<protocol::ExportedTest> tests = protocol::ExportedTests(r, regime);
  QStringList header, brakes, dates, verdicts;
  bool ticked = false;
  for (const protocol::ExportedTest& t : tests) {
    header << QStringLiteral("Test %1").arg(t.number);
    brakes << (t.brake ? QLatin1String(protocol::BrakeKey(*t.brake)) : QStringLiteral("-"));
    ticked = ticked || t.brake.has_value();
    dates << Latin1(r.state.tests[static_cast<std::size_t>(t.number - 1)].date);
    if (t.assessment) verdicts << QLatin1String(protocol::VerdictText(t.assessment->verdict));
  }
  QStringList lines{TrimEnd(QStringLiteral("Results").leftJustified(16) + Row(QString(), header).mid(16))};
  if (ticked) lines << Row(QStringLiteral("Brake"), brakes);
  lines << Row(QStringLiteral("Date"), dates);
  for (const protocol::Quantity q : protocol::ShownQuantities(r.state)) {
    QStringList cells;
    for (const protocol::ExportedTest& t : tests) {
      const protocol::ShownQuantity* shown = t.Find(q);
      cells << (shown ? QString::fromLatin1(shown->text.c_str()) : QString());
    }
    lines << Row(QLatin1String(RowLabel(q)), cells);
  }
  if (regime) lines << Row(QStringLiteral("Verdict"), verdicts) << QStringLiteral("  (%1)").arg(QString::fromStdString(regime->name));
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

QString ReadoutText(const protocol::ReadoutRecord& r, const protocol::Regime* regime) {
  QStringList groups{InstrumentGroup(r), ConfigurationGroup(r.state), ResultsGroup(r, regime)};
  QStringList notes;
  if (!r.vehicle.empty()) notes << QStringLiteral("  Vehicle Reg. ") + QString::fromStdString(r.vehicle);
  if (!r.examiner.empty()) notes << QStringLiteral("  Examiner ") + QString::fromStdString(r.examiner);
  for (const QString& line : QString::fromStdString(r.notes).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    notes << QStringLiteral("  ") + line;
  if (!notes.isEmpty()) groups << QStringLiteral("Notes\n") + notes.join(QLatin1Char('\n'));
  return groups.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}
