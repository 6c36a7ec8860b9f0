// The read-out format "dravik-readout/1": every member of a plus read-out with pull, parsed
// back from the written text; the plain instrument's one test with peak and mean only; the
// verdict members under a regime; ids, dates and texts that are missing or not ASCII.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <clocale>

#include "protocol/json/ReadoutJson.h"
#include "tests/support/SimReadout.h"

namespace {

// Written and parsed again, as a reader of the export gets it.
QJsonObject RoundTrip(const QJsonObject& o) { return QJsonDocument::fromJson(QJsonDocument(o).toJson()).object(); }

QStringList Keys(const QJsonValue& v) { return v.toObject().keys(); }  // sorted

// Compact text with sorted keys, so a difference prints readably.
std::string Text(const QJsonValue& v) { return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact).toStdString(); }
std::string Text(const char* json) { return Text(QJsonDocument::fromJson(json).object()); }

}  // namespace

TEST(ReadoutJson, EveryMemberOfAPlusReadOut) {
  std::setlocale(LC_ALL, "C");
  protocol::ReadoutRecord r = RecordOf({}, 7);
  r.id = 42;
  r.brakeTicked = {true, false, false};
  r.vehicle = "AB12 CDE";
  r.examiner = "Zoë";
  r.notes = "10%g start trigger\nwet";
  const QJsonObject o = RoundTrip(protocol_json::ReadoutToJson(r));

  EXPECT_EQ(o.keys(), QStringList({"configuration", "examiner", "format", "id", "instrument", "notes", "port",
                                   "read_at", "tests", "vehicle"}));
  EXPECT_EQ(o["format"].toString(), "dravik-readout/1");
  EXPECT_EQ(o["id"].toInteger(), 42);
  EXPECT_EQ(o["read_at"].toString(), "2023-11-14T22:13:20.000Z");
  EXPECT_EQ(o["port"].toInt(), 7);
  EXPECT_EQ(o["examiner"].toString(), QString::fromUtf8("Zoë"));
  EXPECT_EQ(o["notes"].toString(), "10%g start trigger\nwet");
  const QJsonObject instrument = o["instrument"].toObject();
  // The simulator's clock starts at 2000-01-01 00:00 here.
  EXPECT_EQ(Text(instrument), Text(R"({"serial": "0123", "model": "dravik+", "software_version": "d",
      "service_centre": "D07", "calibrate_before": "2027-03-15", "clock": "2000-01-01T00:00", "battery": 9.0,
      "temperature": 25.0})"));
  EXPECT_EQ(Text(o["configuration"]), Text(R"({"flags_word": "B000", "three_percent_g_trigger": false,
      "led_is_peak": false, "metric_units": true, "percent_g_readings": true, "measure_pull": true})"));

  const QJsonArray tests = o["tests"].toArray();
  ASSERT_EQ(tests.size(), 3);
  const QStringList all = {"brake", "distance", "mean", "number", "peak", "pull_angle", "pull_sideways",
                           "recorded_at", "speed", "stop_time"};
  for (const QJsonValue& t : tests) EXPECT_EQ(Keys(t), all);
  const QJsonObject t1 = tests[0].toObject();
  EXPECT_EQ(t1["number"].toInt(), 1);
  EXPECT_EQ(t1["brake"].toString(), "main");
  EXPECT_TRUE(tests[1].toObject()["brake"].isNull());
  EXPECT_EQ(t1["recorded_at"].toString(), "2026-05-14T10:32");
  EXPECT_EQ(Text(t1["peak"]), Text(R"({"text": "65.0 %g", "value": 65, "unit": "%g"})"));
  EXPECT_EQ(t1["pull_sideways"].toObject()["text"].toString(), "4.4 %g");
  EXPECT_EQ(tests[1].toObject()["pull_angle"].toObject()["value"].toDouble(), -3);
  EXPECT_EQ(t1["stop_time"].toObject()["value"].toDouble(), 2.5);
}

TEST(ReadoutJson, PlainInstrumentVerdictsAndMissingValues) {
  std::setlocale(LC_ALL, "C");
  sim::InstrumentSetup setup;
  setup.featureWord = 0;
  setup.flagsWord = 0x0000;
  setup.serial = "0\xE9" "12";  // a byte above ASCII from the instrument
  setup.calibration = "271399";
  setup.tests[0].date = "000000";
  protocol::ReadoutRecord plain = RecordOf(setup);
  const QJsonObject o = RoundTrip(protocol_json::ReadoutToJson(plain, &protocol::BuiltInRegimes().back()));
  EXPECT_TRUE(o["id"].isNull());
  EXPECT_EQ(o["instrument"]["serial"].toString(), QString::fromUtf8("0é12"));
  EXPECT_EQ(o["instrument"]["model"].toString(), "dravik");
  EXPECT_TRUE(o["instrument"]["calibrate_before"].isNull());
  EXPECT_TRUE(o["configuration"]["metric_units"].toBool());  // forced on with m/s²
  const QJsonArray tests = o["tests"].toArray();
  ASSERT_EQ(tests.size(), 1);
  const QJsonObject t1 = tests[0].toObject();
  EXPECT_EQ(t1.keys(), QStringList({"brake", "mean", "number", "peak", "recorded_at", "regime", "verdict"}));
  EXPECT_TRUE(t1["recorded_at"].isNull());
  EXPECT_EQ(t1["peak"]["unit"].toString(), "m/s/s");
  EXPECT_EQ(t1["peak"]["value"].toDouble(), 6.5);
  EXPECT_EQ(t1["verdict"].toString(), "not assessed");
  EXPECT_EQ(t1["regime"].toString(), "UK MOT class 4, other");

  const QJsonArray both = protocol_json::ReadoutsToJson({plain, RecordOf({})});
  ASSERT_EQ(both.size(), 2);
  EXPECT_EQ(both[1]["instrument"]["model"].toString(), "dravik+");
}
