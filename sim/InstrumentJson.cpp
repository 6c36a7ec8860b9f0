// JSON reading and writing of the simulated instrument, on QtCore's JSON classes.
#include "sim/InstrumentJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>
#include <stdexcept>

namespace sim {
namespace {

// Thrown inside the reader; turned into the error text at the top.
struct JsonError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

unsigned Number(const QJsonValue& v, const std::string& key, unsigned max) {
  long long n = -1;
  if (v.isDouble()) {
    const double d = v.toDouble();
    if (d == static_cast<double>(static_cast<long long>(d))) n = static_cast<long long>(d);
  } else if (v.isString()) {
    const QString s = v.toString().trimmed();
    bool ok = false;
    n = s.startsWith("0x", Qt::CaseInsensitive) ? s.mid(2).toLongLong(&ok, 16) : s.toLongLong(&ok, 10);
    if (!ok) n = -1;
  }
  if (n < 0 || n > static_cast<long long>(max))
    throw JsonError("'" + key + "' must be a number from 0 to " + std::to_string(max));
  return static_cast<unsigned>(n);
}

// A text of exactly `size` characters (or up to `size` when `upTo`) of printable ASCII without
// ':' (which would start a new frame at the receiver).
std::string Text(const QJsonValue& v, const std::string& key, std::size_t size, bool upTo = false) {
  if (!v.isString()) throw JsonError("'" + key + "' must be a text");
  const std::string s = v.toString().toStdString();
  if (upTo ? s.size() > size : s.size() != size)
    throw JsonError("'" + key + "' must have " + (upTo ? "at most " : "") + std::to_string(size) + " characters");
  for (char c : s)
    if (c < 0x20 || c > 0x7E || c == ':') throw JsonError("'" + key + "' holds a character the link cannot carry");
  return s;
}

void ApplyTest(const QJsonObject& o, TestRecord& t, const std::string& where) {
  static const std::set<QString> kKeys = {"stop", "spare", "angle", "mean", "peak", "date", "time", "speed", "distance"};
  for (auto it = o.begin(); it != o.end(); ++it)
    if (!kKeys.count(it.key())) throw JsonError("unknown key '" + it.key().toStdString() + "' in " + where);
  if (o.contains("stop")) t.stop = static_cast<uint16_t>(Number(o["stop"], "stop", 0xFFFF));
  if (o.contains("spare")) t.spare = static_cast<uint8_t>(Number(o["spare"], "spare", 0xFF));
  if (o.contains("angle")) t.angle = static_cast<uint8_t>(Number(o["angle"], "angle", 0xFF));
  if (o.contains("mean")) t.mean = static_cast<uint16_t>(Number(o["mean"], "mean", 0xFFFF));
  if (o.contains("peak")) t.peak = static_cast<uint16_t>(Number(o["peak"], "peak", 0xFFFF));
  if (o.contains("date")) t.date = Text(o["date"], "date", 6);
  if (o.contains("time")) t.time = Text(o["time"], "time", 4);
  if (o.contains("speed")) t.speed = static_cast<uint8_t>(Number(o["speed"], "speed", 0xFF));
  if (o.contains("distance")) t.distance = static_cast<uint16_t>(Number(o["distance"], "distance", 0xFFFF));
}

void Apply(const QJsonObject& o, InstrumentSetup& s, std::vector<FaultRule>& faults) {
  static const std::set<QString> kKeys = {"model",  "serial",        "version", "feature",     "flags",
                                          "setup",  "calibration",   "serviceCentre", "clock", "temperature",
                                          "battery", "delay",        "tests",   "faults",      "requests",
                                          "activeFaults"};
  for (auto it = o.begin(); it != o.end(); ++it)
    if (!kKeys.count(it.key())) throw JsonError("unknown key '" + it.key().toStdString() + "'");
  if (o.contains("serial")) {
    s.serial = Text(o["serial"], "serial", 4);
    if (s.serial == "####") throw JsonError("'serial' cannot be the identity address ####");
  }
  if (o.contains("version")) s.version = Text(o["version"], "version", 1, true);
  if (o.contains("feature")) s.featureWord = static_cast<uint16_t>(Number(o["feature"], "feature", 0xFFFF));
  if (o.contains("model")) {
    const QString m = o["model"].toString();
    if (m == "plus") s.featureWord |= 0x0020;
    else if (m == "plain") s.featureWord &= static_cast<uint16_t>(~0x0020);
    else throw JsonError("'model' must be \"plus\" or \"plain\"");
  }
  if (o.contains("flags")) s.flagsWord = static_cast<uint16_t>(Number(o["flags"], "flags", 0xFFFF));
  if (o.contains("setup")) {
    const QJsonArray a = o["setup"].toArray();
    if (!o["setup"].isArray() || a.size() != 4) throw JsonError("'setup' must be a list of four bytes");
    for (int i = 0; i < 4; ++i) s.setup[static_cast<std::size_t>(i)] = static_cast<uint8_t>(Number(a[i], "setup", 0xFF));
  }
  if (o.contains("calibration")) s.calibration = Text(o["calibration"], "calibration", 6);
  if (o.contains("serviceCentre")) s.serviceCentre = Text(o["serviceCentre"], "serviceCentre", 3);
  if (o.contains("clock")) {
    const auto t = ParseClock(o["clock"].toString().toStdString());
    if (!o["clock"].isString() || !t) throw JsonError("'clock' must be a valid yymmddhhmmss");
    s.clock = t;
  }
  if (o.contains("temperature")) s.temperature = static_cast<uint8_t>(Number(o["temperature"], "temperature", 0xFF));
  if (o.contains("battery")) s.battery = static_cast<uint8_t>(Number(o["battery"], "battery", 0xFF));
  if (o.contains("delay")) s.replyDelayMs = static_cast<int>(Number(o["delay"], "delay", 60000));
  if (o.contains("tests")) {
    const QJsonArray a = o["tests"].toArray();
    if (!o["tests"].isArray() || a.size() > 3) throw JsonError("'tests' must be a list of at most three tests");
    for (int i = 0; i < a.size(); ++i) {
      if (a[i].isNull()) continue;
      if (!a[i].isObject()) throw JsonError("each test must be an object");
      ApplyTest(a[i].toObject(), s.tests[static_cast<std::size_t>(i)], "test " + std::to_string(i + 1));
    }
  }
  if (o.contains("faults")) {
    if (!o["faults"].isArray()) throw JsonError("'faults' must be a list of fault rules");
    for (const QJsonValue& v : o["faults"].toArray()) {
      std::string error;
      const auto rule = ParseFault(v.toString().toStdString(), error);
      if (!v.isString() || !rule) throw JsonError("fault: " + (error.empty() ? "must be a text" : error));
      faults.push_back(*rule);
    }
  }
  // "requests" and "activeFaults" appear in a state line; they are accepted and ignored so a
  // state can be fed back as a configuration.
}

}  // namespace

bool ApplySetupJson(const std::string& jsonText, InstrumentSetup& setup, std::vector<FaultRule>& faults,
                    std::string& error) {
  QJsonParseError parseError{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(jsonText), &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    error = "not valid JSON: " + parseError.errorString().toStdString() + " at offset " +
            std::to_string(parseError.offset);
    return false;
  }
  if (!doc.isObject()) {
    error = "the JSON must be one object";
    return false;
  }
  InstrumentSetup s = setup;
  std::vector<FaultRule> f = faults;
  try {
    Apply(doc.object(), s, f);
  } catch (const JsonError& e) {
    error = e.what();
    return false;
  }
  setup = std::move(s);
  faults = std::move(f);
  return true;
}

std::string StateJson(const Instrument& instrument, const FaultPlan& faults, int64_t nowMs) {
  const InstrumentSetup& s = instrument.setup();
  QJsonObject o;
  o["model"] = s.plusModel() ? "plus" : "plain";
  o["serial"] = QString::fromStdString(s.serial);
  o["version"] = QString::fromStdString(s.version);
  o["feature"] = s.featureWord;
  o["flags"] = s.flagsWord;
  o["setup"] = QJsonArray{s.setup[0], s.setup[1], s.setup[2], s.setup[3]};
  o["calibration"] = QString::fromStdString(s.calibration);
  o["serviceCentre"] = QString::fromStdString(s.serviceCentre);
  o["clock"] = QString::fromStdString(FormatClock(instrument.ClockAt(nowMs)));
  o["temperature"] = s.temperature;
  o["battery"] = s.battery;
  o["delay"] = s.replyDelayMs;
  QJsonArray tests;
  for (const TestRecord& t : s.tests) {
    tests.append(QJsonObject{{"stop", t.stop},
                             {"spare", t.spare},
                             {"angle", t.angle},
                             {"mean", t.mean},
                             {"peak", t.peak},
                             {"date", QString::fromStdString(t.date)},
                             {"time", QString::fromStdString(t.time)},
                             {"speed", t.speed},
                             {"distance", t.distance}});
  }
  o["tests"] = tests;
  o["requests"] = instrument.requestsAnswered();
  QJsonArray active;
  for (const std::string& spec : faults.Specs()) active.append(QString::fromStdString(spec));
  o["activeFaults"] = active;
  return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace sim
