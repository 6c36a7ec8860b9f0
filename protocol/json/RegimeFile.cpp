// Reading and checking the regime file.
#include "protocol/json/RegimeFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStandardPaths>
#include <cmath>
#include <stdexcept>

#include "protocol/ExportFields.h"

namespace protocol_json {

namespace {

using protocol::BrakeKind;
using protocol::Reading;
using protocol::Regime;
using protocol::VerdictRule;

// A problem in the file's content; `what` says where ("regime 2 ("Fleet"), rule 1") and what.
struct BadContent : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Bad(const QString& what) { throw BadContent(what.toStdString()); }

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString Unusable(const QString& fileName, const QString& reason) {
  return QStringLiteral("The regimes in %1 cannot be used: %2. The built-in regimes are still available.")
      .arg(Quoted(fileName), reason);
}

// Line and column (from 1) of byte `offset` in `contents`.
QString LineAndColumn(const QByteArray& contents, int offset) {
  const QByteArray before = contents.left(offset);
  const int line = int(before.count('\n')) + 1;
  const int column = int(before.size() - (before.lastIndexOf('\n') + 1)) + 1;
  return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

QString RequiredText(const QJsonObject& o, const char* key, const QString& where) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (!v.isString() || v.toString().trimmed().isEmpty())
    Bad(QStringLiteral("%1: \"%2\" must be a text that is not empty").arg(where, QLatin1String(key)));
  return v.toString();
}

BrakeKind BrakeOf(const QJsonObject& rule, const QString& where) {
  const QString brake = rule.value(QLatin1String("brake")).toString();
  for (BrakeKind kind : protocol::kTestBrakes)
    if (brake == QLatin1String(protocol::BrakeKey(kind))) return kind;
  Bad(QStringLiteral("%1: \"brake\" must be \"main\", \"secondary\" or \"parking\"").arg(where));
}

Reading ReadingOf(const QJsonObject& rule, const QString& where) {
  const QString reading = rule.value(QLatin1String("reading")).toString();
  if (reading == QLatin1String("peak")) return Reading::Peak;
  if (reading == QLatin1String("mean")) return Reading::Mean;
  Bad(QStringLiteral("%1: \"reading\" must be \"peak\" or \"mean\"").arg(where));
}

VerdictRule RuleOf(const QJsonValue& value, const QString& where) {
  if (!value.isObject()) Bad(where + QStringLiteral(": a rule must be an object"));
  const QJsonObject o = value.toObject();
  VerdictRule rule;
  rule.brake = BrakeOf(o, where);
  rule.reading = ReadingOf(o, where);
  const QJsonValue minimum = o.value(QLatin1String("minimum"));
  if (!minimum.isDouble() || !std::isfinite(minimum.toDouble()) || minimum.toDouble() < 0 || minimum.toDouble() > 100)
    Bad(where + QStringLiteral(": \"minimum\" must be a number of %g from 0 to 100"));
  rule.minimumPercentG = minimum.toDouble();
  rule.source = RequiredText(o, "source", where).toStdString();
  return rule;
}

Regime RegimeOf(const QJsonValue& value, int number, const std::vector<Regime>& taken) {
  QString where = QStringLiteral("regime %1").arg(number);
  if (!value.isObject()) Bad(where + QStringLiteral(" must be an object"));
  const QJsonObject o = value.toObject();
  Regime regime;
  const QString name = RequiredText(o, "name", where);
  regime.name = name.toStdString();
  where += QStringLiteral(" (%1)").arg(Quoted(name));
  if (protocol::FindRegime(taken, regime.name)) Bad(where + QStringLiteral(": another regime already has this name"));
  const QJsonValue rules = o.value(QLatin1String("rules"));
  if (!rules.isArray() || rules.toArray().isEmpty()) Bad(where + QStringLiteral(": \"rules\" must be a list of rules"));
  int ruleNumber = 0;
  for (const QJsonValue& r : rules.toArray()) {
    const QString ruleWhere = where + QStringLiteral(", rule %1").arg(++ruleNumber);
    const VerdictRule rule = RuleOf(r, ruleWhere);
    if (regime.RuleFor(rule.brake)) Bad(ruleWhere + QStringLiteral(": the regime already has a rule for this brake"));
    regime.rules.push_back(rule);
  }
  return regime;
}

std::vector<Regime> RegimesOf(const QJsonDocument& document) {
  if (!document.isObject()) Bad(QStringLiteral("the file must hold one JSON object"));
  const QJsonObject top = document.object();
  const QJsonValue format = top.value(QLatin1String("format"));
  if (format.toString() != QLatin1String(kRegimeFormat))
    Bad(QStringLiteral("\"format\" must be \"%1\"%2")
            .arg(QLatin1String(kRegimeFormat),
                 format.isString() ? QStringLiteral(", not ") + Quoted(format.toString()) : QString()));
  const QJsonValue list = top.value(QLatin1String("regimes"));
  if (!list.isArray()) Bad(QStringLiteral("\"regimes\" must be a list of regimes"));
  std::vector<Regime> taken = protocol::BuiltInRegimes();
  std::vector<Regime> regimes;
  int number = 0;
  for (const QJsonValue& value : list.toArray()) {
    regimes.push_back(RegimeOf(value, ++number, taken));
    taken.push_back(regimes.back());
  }
  return regimes;
}

}  // namespace

RegimeFile ParseRegimeFile(const QByteArray& contents, const QString& fileName) {
  RegimeFile file;
  QJsonParseError parse{};
  const QJsonDocument document = QJsonDocument::fromJson(contents, &parse);
  if (parse.error != QJsonParseError::NoError) {
    file.error = Unusable(fileName, QStringLiteral("it is not valid JSON at %1 (%2)")
                                        .arg(LineAndColumn(contents, parse.offset), parse.errorString()));
    return file;
  }
  try {
    file.regimes = RegimesOf(document);
  } catch (const BadContent& bad) {
    file.error = Unusable(fileName, QString::fromStdString(bad.what()));
  }
  return file;
}

RegimeFile ReadRegimeFile(const QString& path) {
  QFile f(path);
  if (!f.exists()) return {};
  RegimeFile file;
  if (!f.open(QIODevice::ReadOnly)) {
    file.error = Unusable(path, QStringLiteral("it cannot be read (%1)").arg(f.errorString()));
    return file;
  }
  const QByteArray contents = f.read(kRegimeFileMaxBytes + 1);
  if (contents.size() > kRegimeFileMaxBytes) {
    file.error = Unusable(path, QStringLiteral("it is larger than %1 bytes").arg(kRegimeFileMaxBytes));
    return file;
  }
  return ParseRegimeFile(contents, path);
}

QString UserRegimeFilePath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
      .filePath(QLatin1String(kRegimeFileName));
}

RegimeFile AvailableRegimes(const QString& path) {
  RegimeFile file = ReadRegimeFile(path);
  std::vector<Regime> all = protocol::BuiltInRegimes();
  all.insert(all.end(), file.regimes.begin(), file.regimes.end());
  file.regimes = std::move(all);
  return file;
}

}  // namespace protocol_json
