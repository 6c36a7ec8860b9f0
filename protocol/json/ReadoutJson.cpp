// Read-outs as "dravik-readout/1" objects.
#include "protocol/json/ReadoutJson.h"

#include <QString>

#include "protocol/ExportFields.h"
#include "protocol/Protocol.h"

namespace protocol_json {

namespace {

using namespace protocol;

QString Latin1(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }
QString Utf8(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }
QJsonValue OrNull(const std::optional<std::string>& text) {
  return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}

// Battery and temperature as the window shows them: one decimal.
double OneDecimal(double value) { return ShownNumber({"##0.0", 1.0, ""}, value); }

QJsonObject Instrument(const InstrumentState& s) {
  QJsonObject o;
  o["serial"] = Latin1(s.serial);
  o["model"] = QString::fromLatin1(ModelName(s));
  const char version = s.calibration.versionChar;
  o["software_version"] = version != 0 ? QJsonValue(Latin1(std::string(1, version))) : QJsonValue(QJsonValue::Null);
  o["service_centre"] = Latin1(s.serviceCentre);
  o["calibrate_before"] = OrNull(IsoDate(s.calibrationDate));
  o["clock"] = OrNull(ClockIso(s));
  o["battery"] = OneDecimal(s.battRaw * 0.04);        // volts
  o["temperature"] = OneDecimal(s.tempRaw / 2.0 - 42);  // degrees Celsius
  return o;
}

QJsonObject Configuration(const InstrumentState& s) {
  // The boxes as the configuration read shows them ("Metric Units" is forced on with m/s²).
  const decoders::FlagBoxes& b = s.configView.boxes;
  QJsonObject o;
  o["flags_word"] = QString::fromStdString(Hex(s.config.flagsWord, 4));
  o["three_percent_g_trigger"] = b.flags12;
  o["led_is_peak"] = b.flags13;
  o["metric_units"] = b.flags14;
  o["percent_g_readings"] = b.flags15;
  o["measure_pull"] = b.flags17;
  return o;
}

QJsonObject Test(const ExportedTest& t, const Regime* regime) {
  QJsonObject o;
  o["number"] = t.number;
  o["brake"] = t.brake ? QJsonValue(QString::fromLatin1(BrakeKey(*t.brake))) : QJsonValue(QJsonValue::Null);
  o["recorded_at"] = OrNull(t.recordedAt);
  for (const ShownQuantity& q : t.quantities) {
    QJsonObject quantity;
    quantity["text"] = Latin1(q.text);
    quantity["value"] = q.value;
    quantity["unit"] = QString::fromLatin1(q.unit.c_str());
    o[QString::fromLatin1(QuantityKey(q.quantity))] = quantity;
  }
  if (regime && t.assessment) {
    o["verdict"] = QString::fromLatin1(VerdictText(t.assessment->verdict));
    o["regime"] = Utf8(regime->name);
  }
  return o;
}

}  // namespace

QJsonObject ReadoutToJson(const ReadoutRecord& record, const Regime* regime) {
  QJsonObject o;
  o["format"] = QString::fromLatin1(kReadoutFormat);
  o["id"] = record.id ? QJsonValue(qint64(*record.id)) : QJsonValue(QJsonValue::Null);
  o["read_at"] = QString::fromStdString(IsoUtc(record.readAtUtcMs));
  o["port"] = record.port;
  o["instrument"] = Instrument(record.state);
  o["configuration"] = Configuration(record.state);
  o["vehicle"] = Utf8(record.vehicle);
  o["examiner"] = Utf8(record.examiner);
  o["notes"] = Utf8(record.notes);
  QJsonArray tests;
  for (const ExportedTest& t : ExportedTests(record, regime)) tests.append(Test(t, regime));
  o["tests"] = tests;
  return o;
}

QJsonArray ReadoutsToJson(const std::vector<ReadoutRecord>& records, const Regime* regime) {
  QJsonArray all;
  for (const ReadoutRecord& record : records) all.append(ReadoutToJson(record, regime));
  return all;
}

}  // namespace protocol_json
