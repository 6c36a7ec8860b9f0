// Keeping a read-out and attaching the examiner's texts: one transaction each.
#include <QCryptographicHash>
#include <QDateTime>
#include <QSqlError>

#include "archive/Archive.h"
#include "archive/TestValues.h"
#include "protocol/Protocol.h"

namespace archive {

namespace {

// Bytes from the instrument as text for the display columns: Latin-1, as the window shows
// them, with NUL (which PostgreSQL text cannot hold) as U+FFFD. The frames keep the bytes.
QString Latin1(const std::string& bytes) {
  QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  text.replace(QChar(0), QChar(0xFFFD));
  return text;
}

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QVariant NullText() { return QVariant(QMetaType::fromType<QString>()); }

QVariant TextOrNull(const std::optional<std::string>& text) { return text ? QVariant(Utf8(*text)) : NullText(); }

const char* BrakeName(int number) {
  static constexpr const char* names[] = {"main", "secondary", "parking"};
  return names[number - 1];
}

// The read-out's configuration block and the data of its six result blocks: two read-outs with
// the same digest hold the same results in the same units.
std::string ResultsDigest(const protocol::InstrumentState& s) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(QByteArray::fromStdString(protocol::ConfigBlockHex(s.config)));
  for (int step = 5; step < protocol::kReadoutSteps; ++step) {
    const std::string& frame = s.frames[static_cast<std::size_t>(step)];
    // Positions 8 .. L-2: the data, without marker, address and checksum.
    hash.addData(QByteArray::fromStdString("|" + protocol::Sub(frame, 8, static_cast<int>(frame.size()) - 9)));
  }
  return hash.result().toHex().toStdString();
}

void BindValue(QSqlQuery& q, const ShownValue& v) {
  q.addBindValue(v.number);
  q.addBindValue(QString::fromStdString(v.unit));
  q.addBindValue(Latin1(v.text));
}

}  // namespace

std::optional<KeepResult> Archive::Keep(const protocol::ReadoutRecord& record, const Annotation& annotation) {
  if (!Writable()) return std::nullopt;
  if (!record.state.complete) {
    error_ = "the read-out is not complete";
    return std::nullopt;
  }
  const std::string digest = ResultsDigest(record.state);
  KeepResult result;
  const bool done = InTransaction([&] {
    result = {};
    QSqlQuery last(Database());
    last.prepare(QStringLiteral("SELECT id, results_digest FROM readout WHERE serial = ? ORDER BY id DESC LIMIT 1"));
    last.addBindValue(Latin1(record.state.serial));
    if (!Exec(last, "could not be read")) return false;
    if (last.next() && last.value(1).toString().toStdString() == digest) {
      result.id = last.value(0).toLongLong();  // the same results again: not kept twice
    } else {
      const std::optional<int64_t> instrument = InstrumentId(record.state);
      if (!instrument) return false;
      const std::optional<int64_t> id = InsertReadout(record, *instrument, digest);
      if (!id || !InsertFrames(*id, record.state) || !InsertTests(*id, record)) return false;
      result = {*id, true};
    }
    return annotation.empty() || ApplyAnnotation(result.id, annotation);
  });
  if (!done) return std::nullopt;
  return result;
}

bool Archive::Annotate(int64_t id, const Annotation& annotation) {
  if (!Writable()) return false;
  return InTransaction([&] { return ApplyAnnotation(id, annotation); });
}

std::optional<int64_t> Archive::InstrumentId(const protocol::InstrumentState& s) {
  const QVariantList key{Latin1(s.serial), QString::fromLatin1(s.plusModel() ? "dravik+" : "dravik"),
                         Latin1(std::string(1, s.calibration.versionChar)), Latin1(s.serviceCentre),
                         Latin1(s.calibrationDate)};
  // Another lane may add the same instrument at the same time: the insert then does nothing.
  QSqlQuery insert(Database());
  insert.prepare(QStringLiteral(
      "INSERT INTO instrument (serial, model, software_version, service_centre, calibration_raw, calibrate_before) "
      "VALUES (?, ?, ?, ?, ?, ?) "
      "ON CONFLICT (serial, model, software_version, service_centre, calibration_raw) DO NOTHING"));
  for (const QVariant& v : key) insert.addBindValue(v);
  insert.addBindValue(TextOrNull(IsoDate(s.calibrationDate)));
  if (!Exec(insert, "could not be written")) return std::nullopt;
  QSqlQuery find(Database());
  find.prepare(QStringLiteral(
      "SELECT id FROM instrument WHERE serial = ? AND model = ? AND software_version = ? AND service_centre = ? "
      "AND calibration_raw = ?"));
  for (const QVariant& v : key) find.addBindValue(v);
  if (!Exec(find, "could not be read")) return std::nullopt;
  if (!find.next()) {
    Fail("could not be written", QStringLiteral("the instrument's row is missing"));
    return std::nullopt;
  }
  return find.value(0).toLongLong();
}

std::optional<int64_t> Archive::InsertReadout(const protocol::ReadoutRecord& r, int64_t instrumentId,
                                              const std::string& digest) {
  const protocol::InstrumentState& s = r.state;
  QSqlQuery q(Database());
  q.prepare(QStringLiteral(
      "INSERT INTO readout (instrument_id, serial, read_at_utc_ms, port, instrument_clock, clock_raw, clock_text, "
      "temperature_raw, temperature_c, temperature_text, battery_raw, battery_v, battery_text, "
      "setup_byte1, setup_byte2, setup_byte3, setup_byte4, feature_word, flags_word, results_digest, "
      "vehicle, vehicle_key, examiner, notes) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
  for (const QVariant& v : QVariantList{
           QVariant::fromValue<qint64>(instrumentId), Latin1(s.serial), QVariant::fromValue<qint64>(r.readAtUtcMs),
           r.port, TextOrNull(InstrumentClock(s)), Latin1(s.clockRaw), Latin1(s.clockText),
           // Degrees Celsius = byte / 2 - 42; volts = byte x 0.04, as the window shows them.
           s.tempRaw, s.tempRaw / 2.0 - 42, Latin1(s.tempText), s.battRaw, s.battRaw * 4 / 100.0, Latin1(s.battText),
           s.config.setupByte1, s.config.setupByte2, s.config.setupByte3, s.config.setupByte4, s.config.featureWord,
           s.config.flagsWord, QString::fromStdString(digest), Utf8(r.vehicle), Utf8(VehicleKey(r.vehicle)),
           Utf8(r.examiner), Utf8(r.notes)})
    q.addBindValue(v);
  if (!Exec(q, "could not be written")) return std::nullopt;
  if (!q.next()) {
    Fail("could not be written", QStringLiteral("no id was returned"));
    return std::nullopt;
  }
  return q.value(0).toLongLong();
}

bool Archive::InsertFrames(int64_t id, const protocol::InstrumentState& s) {
  QSqlQuery q(Database());
  q.prepare(QStringLiteral("INSERT INTO readout_frame (readout_id, step, frame) VALUES (?, ?, ?)"));
  for (int step = 0; step < protocol::kReadoutSteps; ++step) {
    q.addBindValue(QVariant::fromValue<qint64>(id));
    q.addBindValue(step);
    q.addBindValue(QByteArray::fromStdString(s.frames[static_cast<std::size_t>(step)]));
    if (!Exec(q, "could not be written")) return false;
  }
  return true;
}

bool Archive::InsertTests(int64_t id, const protocol::ReadoutRecord& r) {
  QSqlQuery q(Database());
  q.prepare(QStringLiteral(
      "INSERT INTO readout_test (readout_id, number, shown, brake, stop_raw, angle_raw, mean_raw, peak_raw, "
      "stamp_raw, speed_raw, distance_raw, peak_value, peak_unit, peak_text, mean_value, mean_unit, mean_text, "
      "speed_value, speed_unit, speed_text, stop_value, stop_unit, stop_text, distance_value, distance_unit, "
      "distance_text, pull_side, pull_angle_value, pull_angle_unit, pull_angle_text, pull_sideways_value, "
      "pull_sideways_unit, pull_sideways_text, recorded_at, date_text) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  for (int n = 1; n <= 3; ++n) {
    const protocol::TestState& t = r.state.tests[static_cast<std::size_t>(n - 1)];
    const TestValues v = ValuesOf(t);
    q.addBindValue(QVariant::fromValue<qint64>(id));
    q.addBindValue(n);
    q.addBindValue(r.state.plusModel() || n == 1 ? 1 : 0);  // a plain instrument shows test 1 only
    q.addBindValue(r.brakeTicked[static_cast<std::size_t>(n - 1)] ? QVariant(QString::fromLatin1(BrakeName(n))) : NullText());
    for (unsigned raw : {t.first.stop, t.first.angle, t.first.mean, t.first.peak}) q.addBindValue(raw);
    q.addBindValue(Latin1(t.second.stamp));
    q.addBindValue(t.second.speed);
    q.addBindValue(t.second.distance);
    for (const ShownValue* value : {&v.peak, &v.mean, &v.speed, &v.stop, &v.distance}) BindValue(q, *value);
    q.addBindValue(QString::fromStdString(v.pullSide));
    BindValue(q, v.pullAngle);
    BindValue(q, v.pullSideways);
    q.addBindValue(TextOrNull(v.recordedAt));
    q.addBindValue(Latin1(t.date));
    if (!Exec(q, "could not be written")) return false;
  }
  return true;
}

bool Archive::ApplyAnnotation(int64_t id, const Annotation& a) {
  QStringList sets{QStringLiteral("annotated_at_utc_ms = ?")};
  QVariantList values{QVariant::fromValue<qint64>(QDateTime::currentMSecsSinceEpoch())};
  if (a.vehicle) {
    sets << QStringLiteral("vehicle = ?") << QStringLiteral("vehicle_key = ?");
    values << Utf8(*a.vehicle) << Utf8(VehicleKey(*a.vehicle));
  }
  if (a.examiner) {
    sets << QStringLiteral("examiner = ?");
    values << Utf8(*a.examiner);
  }
  if (a.notes) {
    sets << QStringLiteral("notes = ?");
    values << Utf8(*a.notes);
  }
  QSqlQuery q(Database());
  q.prepare(QStringLiteral("UPDATE readout SET %1 WHERE id = ?").arg(sets.join(QStringLiteral(", "))));
  for (const QVariant& v : values) q.addBindValue(v);
  q.addBindValue(QVariant::fromValue<qint64>(id));
  if (!Exec(q, "could not be written")) return false;
  if (q.numRowsAffected() != 1) return Fail("holds no read-out " + std::to_string(id), {});
  if (!a.brakeTicked) return true;
  QSqlQuery brakes(Database());
  brakes.prepare(QStringLiteral("UPDATE readout_test SET brake = ? WHERE readout_id = ? AND number = ?"));
  for (int n = 1; n <= 3; ++n) {
    brakes.addBindValue((*a.brakeTicked)[static_cast<std::size_t>(n - 1)] ? QVariant(QString::fromLatin1(BrakeName(n))) : NullText());
    brakes.addBindValue(QVariant::fromValue<qint64>(id));
    brakes.addBindValue(n);
    if (!Exec(brakes, "could not be written")) return false;
  }
  return true;
}

}  // namespace archive
