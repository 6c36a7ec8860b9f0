// The fields of a kept read-out as the records window shows them.
#include "records/RecordDetail.h"

#include <QDateTime>

#include "protocol/Decoders.h"
#include "protocol/ExportFields.h"
#include "protocol/Quantities.h"
#include "report/RecordReport.h"

namespace {

using protocol::Quantity;

QString Latin1(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }
QString Utf8(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }
QString YesNo(bool on) { return on ? QStringLiteral("yes") : QStringLiteral("no"); }

// The row labels of the window's results grid; the sideways pull's box has none of its own.
QString QuantityLabel(Quantity q) {
  switch (q) {
    case Quantity::Peak: return QStringLiteral("Peak Decel.");
    case Quantity::Mean: return QStringLiteral("Mean Decel.");
    case Quantity::Speed: return QStringLiteral("Test Speed");
    case Quantity::StopTime: return QStringLiteral("Stop Time");
    case Quantity::Distance: return QStringLiteral("Distance");
    case Quantity::PullAngle: return QStringLiteral("Pull");
    case Quantity::PullSideways: return QStringLiteral("Pull (sideways)");
  }
  return {};
}

QString VerdictLine(const protocol::Assessment& a) {
  const QString verdict = QString::fromLatin1(protocol::VerdictText(a.verdict));
  if (!a.rule || !a.efficiencyPercentG) return verdict;
  return QStringLiteral("%1: %2 %g, minimum %3 %g on the %4 reading (%5)")
      .arg(verdict)
      .arg(*a.efficiencyPercentG, 0, 'f', 1)
      .arg(a.rule->minimumPercentG)
      .arg(QLatin1String(protocol::ReadingKey(a.rule->reading)), QString::fromStdString(a.rule->source));
}

DetailGroup Instrument(const protocol::ReadoutRecord& r) {
  const protocol::InstrumentState& s = r.state;
  return {QStringLiteral("Instrument and Calibration"),
          {{QStringLiteral("Serial No"), Latin1(s.serial)},
           {QStringLiteral("Type"), QString::fromLatin1(protocol::ModelName(s))},
           {QStringLiteral("Calibration"), Latin1(s.calibration.calibText)},
           {QStringLiteral("Service centre"), Latin1(s.calibration.byWhoText)},
           {QStringLiteral("Version"), Latin1(s.calibration.versionText)},
           {QStringLiteral("Battery"), Latin1(s.battText).trimmed()},
           {QStringLiteral("Temp."), Latin1(s.tempText).trimmed()},
           {QStringLiteral("Instrument clock"), Latin1(s.clockText)}}};
}

DetailGroup Configuration(const protocol::InstrumentState& s) {
  // The boxes the window shows for this instrument, as the configuration read set them.
  const decoders::FlagBoxes& b = s.configView.boxes;
  DetailGroup g{QStringLiteral("Configuration"), {}};
  if (decoders::Flags12Visible(s.plusModel(), s.calibration.versionChar))
    g.fields.push_back({QStringLiteral("3%g trigger"), YesNo(b.flags12)});
  g.fields.push_back({QStringLiteral("LED is peak"), YesNo(b.flags13)});
  if (s.plusModel()) g.fields.push_back({QStringLiteral("Metric Units"), YesNo(b.flags14)});
  g.fields.push_back({QStringLiteral("%g readings"), YesNo(b.flags15)});
  if (s.plusModel()) g.fields.push_back({QStringLiteral("Measure Pull"), YesNo(b.flags17)});
  return g;
}

DetailGroup Test(const protocol::ReadoutRecord& r, int number, const protocol::Regime* regime) {
  const std::size_t i = static_cast<std::size_t>(number - 1);
  QString title = TestCaptions(r.state.plusModel(), r.brakeTicked)[i];
  if (title.isEmpty()) title = QStringLiteral("Test %1").arg(number);  // the plain model's column has no caption
  DetailGroup g{title, {{QStringLiteral("Date"), Latin1(r.state.tests[i].date)}}};
  for (const protocol::ShownQuantity& q : protocol::ShownQuantitiesOf(r.state, number))
    g.fields.push_back({QuantityLabel(q.quantity), Latin1(q.text)});
  if (regime) g.fields.push_back({QStringLiteral("Verdict"), VerdictLine(protocol::Assess(r, number, *regime))});
  return g;
}

}  // namespace

std::vector<DetailGroup> DetailGroups(const protocol::ReadoutRecord& r, const protocol::Regime* regime) {
  std::vector<DetailGroup> groups;
  DetailGroup readout{QStringLiteral("Read-out"),
                      {{QStringLiteral("Read at"), QDateTime::fromMSecsSinceEpoch(r.readAtUtcMs)
                                                       .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))},
                       {QStringLiteral("Port"), QStringLiteral("COM %1").arg(r.port)}}};
  if (r.id) readout.fields.push_back({QStringLiteral("Archive id"), QString::number(*r.id)});
  if (regime) readout.fields.push_back({QStringLiteral("Regime"), QString::fromStdString(regime->name)});
  groups.push_back(std::move(readout));
  groups.push_back(Instrument(r));
  groups.push_back(Configuration(r.state));
  for (int number : protocol::ShownTests(r.state)) groups.push_back(Test(r, number, regime));
  groups.push_back({QStringLiteral("Notes"),
                    {{QStringLiteral("Vehicle Reg."), Utf8(r.vehicle)},
                     {QStringLiteral("Examiner"), Utf8(r.examiner)},
                     {QStringLiteral("Notes"), Utf8(r.notes)}}});
  return groups;
}

QStringList FrameLines(const protocol::ReadoutRecord& record) {
  QStringList lines;
  for (const protocol::ReadoutStep& step : protocol::ReadoutTable()) {
    QString frame;
    for (const char c : record.state.frames[static_cast<std::size_t>(step.step)]) {
      const auto byte = static_cast<unsigned char>(c);
      frame += byte >= 0x20 && byte < 0x7F ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    lines << QStringLiteral("%1  %2  %3").arg(step.step, 2).arg(QString::fromStdString(step.command), -4).arg(frame);
  }
  return lines;
}

QString DetailHtml(const std::vector<DetailGroup>& groups, const QStringList& frameLines) {
  QString html = QStringLiteral("<html><body>");
  for (const DetailGroup& g : groups) {
    html += QStringLiteral("<h3>%1</h3><table cellspacing=\"0\" cellpadding=\"2\">").arg(g.title.toHtmlEscaped());
    for (const DetailField& f : g.fields) {
      // pre-wrap: the texts keep their spaces and line breaks, as the window's boxes show them.
      html += QStringLiteral("<tr><td valign=\"top\" style=\"padding-right:12px\"><b>%1</b></td>"
                             "<td style=\"white-space:pre-wrap\">%2</td></tr>")
                  .arg(f.label.toHtmlEscaped(), f.value.toHtmlEscaped());
    }
    html += QStringLiteral("</table>");
  }
  if (!frameLines.isEmpty()) {
    html += QStringLiteral("<h3>Reply frames</h3><pre>");
    for (const QString& line : frameLines) html += line.toHtmlEscaped() + QLatin1Char('\n');
    html += QStringLiteral("</pre>");
  }
  return html + QStringLiteral("</body></html>");
}
