// A brake test's numbers and units from the protocol's quantities, and the instrument's stamps.
#include "archive/TestValues.h"

#include "protocol/ExportFields.h"
#include "protocol/Quantities.h"

namespace archive {

namespace {

ShownValue Shown(const protocol::TestState& t, protocol::Quantity q, const std::string& text) {
  const protocol::ShownQuantity shown = protocol::QuantityOf(t, q);
  return {shown.value, shown.unit, text};
}

}  // namespace

std::optional<std::string> IsoDate(const std::string& yymmdd) { return protocol::IsoDate(yymmdd); }

std::optional<std::string> InstrumentClock(const protocol::InstrumentState& state) {
  return protocol::ClockIso(state);
}

TestValues ValuesOf(const protocol::TestState& t) {
  using protocol::Quantity;
  TestValues v;
  v.peak = Shown(t, Quantity::Peak, t.peak);
  v.mean = Shown(t, Quantity::Mean, t.mean);
  v.stop = Shown(t, Quantity::StopTime, t.stop);
  v.speed = Shown(t, Quantity::Speed, t.speed);
  v.distance = Shown(t, Quantity::Distance, t.distance);
  v.pullSideways = Shown(t, Quantity::PullSideways, t.sideways);
  // Kept as degrees and a side: the sign of an angle of 0 would lose the side.
  v.pullAngle = Shown(t, Quantity::PullAngle, t.angle);
  v.pullAngle.number = t.first.angle & 0x7F;
  v.pullSide = (t.first.angle & 0x80) != 0 ? "right" : "left";
  v.recordedAt = protocol::RecordedAtIso(t);
  return v;
}

}  // namespace archive
