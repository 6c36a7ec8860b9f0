// Request handling and reply building of the simulated instrument.
#include "sim/Instrument.h"

#include "protocol/Protocol.h"
#include "protocol/ReadoutTable.h"
#include "protocol/ReplyBuilder.h"

namespace sim {

using protocol::Hex;
using protocol::Sub;

namespace {

bool AllDigits(const std::string& s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

bool AllHex(const std::string& s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  return !s.empty();
}

std::chrono::sys_seconds ToSeconds(const CivilTime& t) {
  using namespace std::chrono;
  const sys_days day{year{t.year} / month{static_cast<unsigned>(t.month)} / static_cast<unsigned>(t.day)};
  return day + hours{t.hour} + minutes{t.minute} + seconds{t.second};
}

CivilTime FromSeconds(std::chrono::sys_seconds s) {
  using namespace std::chrono;
  const auto day = floor<days>(s);
  const year_month_day ymd{day};
  const hh_mm_ss hms{s - day};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(hms.hours().count()),
          static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count())};
}

std::string Two(int n) { return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; }

}  // namespace

std::optional<CivilTime> ParseClock(const std::string& s) {
  if (s.size() != 12 || !AllDigits(s)) return std::nullopt;
  const auto num = [&](int pos) { return std::stoi(s.substr(static_cast<std::size_t>(pos), 2)); };
  CivilTime t{2000 + num(0), num(2), num(4), num(6), num(8), num(10)};
  using namespace std::chrono;
  const year_month_day ymd{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}};
  if (!ymd.ok() || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  return t;
}

std::string FormatClock(const CivilTime& t) {
  return Two(t.year % 100) + Two(t.month) + Two(t.day) + Two(t.hour) + Two(t.minute) + Two(t.second);
}

CivilTime AddSeconds(const CivilTime& t, int64_t seconds) {
  return FromSeconds(ToSeconds(t) + std::chrono::seconds{seconds});
}

std::array<TestRecord, 3> InstrumentSetup::DefaultTests() {
  // Main brake, secondary and parking brake of one examination, in %g and metric units.
  return {{
      {250, 0, 0x85, 500, 650, "260514", "1032", 30, 291},  // 2.50 s, right 5 deg, 50.0 / 65.0 %g
      {400, 0, 0x03, 280, 370, "260514", "1036", 40, 601},  // 4.00 s, left 3 deg, 28.0 / 37.0 %g
      {550, 0, 0x00, 200, 240, "260514", "1041", 20, 171},  // 5.50 s, straight, 20.0 / 24.0 %g
  }};
}

Instrument::Instrument(InstrumentSetup setup, CivilTime hostNow, int64_t nowMs)
    : setup_(std::move(setup)), clockAtSet_(setup_.clock.value_or(hostNow)), setAtMs_(nowMs) {
  setup_.clock.reset();
}

void Instrument::Reconfigure(InstrumentSetup setup, int64_t nowMs) {
  if (setup.clock) {
    clockAtSet_ = *setup.clock;
    setAtMs_ = nowMs;
  }
  setup_ = std::move(setup);
  setup_.clock.reset();
}

CivilTime Instrument::ClockAt(int64_t nowMs) const {
  // The clock runs on in whole seconds from its set value.
  const int64_t elapsed = nowMs >= setAtMs_ ? (nowMs - setAtMs_) / 1000 : 0;
  return AddSeconds(clockAtSet_, elapsed);
}

protocol::ConfigBlock Instrument::StoredConfig() const {
  return {setup_.setup[0], setup_.setup[1], setup_.featureWord, setup_.setup[2], setup_.setup[3], setup_.flagsWord};
}

void Instrument::StoreConfig(const protocol::ConfigBlock& block) {
  setup_.setup = {block.setupByte1, block.setupByte2, block.setupByte3, block.setupByte4};
  setup_.featureWord = block.featureWord;
  setup_.flagsWord = block.flagsWord;
}

std::optional<Answer> Instrument::Handle(const std::string& request, int64_t nowMs) {
  const int length = static_cast<int>(request.size());
  if (length < 9 || Sub(request, 1, 2) != "!g") return std::nullopt;
  const std::string address = Sub(request, 3, 4);
  const std::string body = Sub(request, 7, length - 8);
  const std::string checksum = Sub(request, length - 1, 2);
  if (!AllHex(checksum) || protocol::HexField(checksum, 1, 2) != protocol::RequestChecksum(address, body))
    return std::nullopt;
  // The identity query goes to "####" (or to the instrument's own number); everything else only
  // to the instrument's own number.
  const bool identity = body == protocol::kCmdIdentity;
  if (address != setup_.serial && !(identity && address == protocol::kIdentityAddress)) return std::nullopt;
  const auto data = ReplyData(body, nowMs);
  if (!data) return std::nullopt;
  ++answered_;
  return Answer{body, protocol::ReplyFrame(address, body[0], *data) + protocol::kCarriageReturn};
}

std::optional<std::string> Instrument::ReplyData(const std::string& body, int64_t nowMs) {
  if (body == protocol::kCmdIdentity) return setup_.serial;
  if (body == protocol::kCmdStatus) return protocol::StatusData(setup_.temperature, setup_.battery);
  if (body == protocol::kCmdConfig) return protocol::ConfigBlockHex(StoredConfig());
  if (body == protocol::kCmdCalibration)
    return protocol::CalibrationData(setup_.calibration, setup_.serviceCentre, setup_.version);
  if (body == protocol::kCmdClock) {
    // "20" yy mm dd, weekday 01..07 (Monday = 01), hh mm ss: the program reads yymmdd and hhmm.
    const CivilTime t = ClockAt(nowMs);
    const std::string yymmddhhmmss = FormatClock(t);
    const std::chrono::weekday wd{std::chrono::sys_days{std::chrono::floor<std::chrono::days>(ToSeconds(t))}};
    return "20" + yymmddhhmmss.substr(0, 6) + Two(static_cast<int>(wd.iso_encoding())) + yymmddhhmmss.substr(6);
  }
  if (body.size() == 3 && body[0] == '8' && AllHex(body.substr(1))) {
    const unsigned aa = protocol::HexField(body, 2, 2);
    const protocol::ReadoutStep* row = protocol::RowForBlock(aa);
    if (!row) return Hex(aa, 2) + std::string(16, '0');  // unused memory reads as zeros
    const TestRecord& r = setup_.tests[static_cast<std::size_t>(row->test - 1)];
    if (row->half == protocol::BlockHalf::First)
      return protocol::FirstHalfData(aa, r.stop, r.spare, r.angle, r.mean, r.peak);
    return protocol::SecondHalfData(aa, r.date + r.time, r.speed, r.distance);
  }
  if (body.size() == 17 && body[0] == '9' && AllHex(body.substr(1))) {
    // A configuration write; writing the block erases the stored tests.
    StoreConfig(protocol::ParseConfigBlock(body.substr(1)));
    setup_.tests.fill(kErasedTest);
    return std::string();
  }
  if (body.size() == 13 && body[0] == 'T') {
    const auto t = ParseClock(body.substr(1));
    if (!t) return std::nullopt;
    clockAtSet_ = *t;
    setAtMs_ = nowMs;
    return std::string();
  }
  return std::nullopt;
}

}  // namespace sim
