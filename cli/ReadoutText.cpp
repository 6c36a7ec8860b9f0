// The text format of a read-out.
#include "cli/ReadoutText.h"

#include <QDateTime>
#include <QStringList>

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

QString ResultsGroup(const protocol::ReadoutRecord& r) {
  const protocol::InstrumentState& s = r.state;
  const bool plus = s.plusModel();
  const bool pull = s.configView.pullFieldsVisible;
  const int tests = plus ? 3 : 1;
  static const char* const kCaptions[] = {"Main brake", "Secondary", "Parking"};
  struct Row {
    const char* label;
    std::string protocol::TestState::*text;
    bool shown;
  };
  const Row rows[] = {
      {"", &protocol::TestState::date, true},
      {"Peak Decel.", &protocol::TestState::peak, true},
      {"Mean Decel.", &protocol::TestState::mean, true},
      {"Test Speed", &protocol::TestState::speed, plus},
      {"Stop Time", &protocol::TestState::stop, plus},
      {"Distance", &protocol::TestState::distance, plus},
      {"Pull", &protocol::TestState::angle, pull},
      {"", &protocol::TestState::sideways, pull},
  };
  QString header = QStringLiteral("Results").leftJustified(16);
  for (int t = 0; t < tests; ++t) {
    const QString caption = r.brakeTicked[static_cast<std::size_t>(t)] ? QLatin1String(kCaptions[t])
                                                                       : QStringLiteral("Test %1").arg(t + 1);
    header += (plus ? caption : QString()).leftJustified(16);
  }
  QStringList lines{TrimEnd(header)};
  for (const Row& row : rows) {
    if (!row.shown) continue;
    QString line = QStringLiteral("  ") + QString::fromLatin1(row.label).leftJustified(14);
    for (int t = 0; t < tests; ++t) line += Latin1(s.tests[static_cast<std::size_t>(t)].*row.text).leftJustified(16);
    lines << TrimEnd(line);
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

QString ReadoutText(const protocol::ReadoutRecord& r) {
  QStringList groups{InstrumentGroup(r), ConfigurationGroup(r.state), ResultsGroup(r)};
  QStringList notes;
  if (!r.vehicle.empty()) notes << QStringLiteral("  Vehicle Reg. ") + QString::fromStdString(r.vehicle);
  if (!r.examiner.empty()) notes << QStringLiteral("  Examiner ") + QString::fromStdString(r.examiner);
  for (const QString& line : QString::fromStdString(r.notes).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    notes << QStringLiteral("  ") + line;
  if (!notes.isEmpty()) groups << QStringLiteral("Notes\n") + notes.join(QLatin1Char('\n'));
  return groups.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}
