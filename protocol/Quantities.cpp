// Quantities of the brake tests as shown, from the raw fields.
#include "protocol/Quantities.h"

namespace protocol {

namespace {

std::string WithoutLeadingSpaces(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

std::vector<int> ShownTests(const InstrumentState& state) {
  if (state.plusModel()) return {1, 2, 3};
  return {1};
}

std::vector<Quantity> ShownQuantities(const InstrumentState& state) {
  std::vector<Quantity> shown{Quantity::Peak, Quantity::Mean};
  if (state.plusModel()) shown.insert(shown.end(), {Quantity::Speed, Quantity::StopTime, Quantity::Distance});
  if (state.configView.pullFieldsVisible) shown.insert(shown.end(), {Quantity::PullAngle, Quantity::PullSideways});
  return shown;
}

ShownQuantity QuantityOf(const TestState& t, Quantity quantity) {
  const bool secondHalf = quantity == Quantity::Speed || quantity == Quantity::Distance;
  const decoders::ResultUnits& units = secondHalf ? t.secondUnits : t.firstUnits;
  const QuantityFormat format = FormatOf(quantity, units.percentG, units.metric);
  const unsigned degrees = t.first.angle & 0x7Fu;  // bit 7 is the side: set = right
  // The number before rounding and the box that shows it.
  struct Source {
    double number;
    const std::string& text;
  };
  const auto source = [&]() -> Source {
    switch (quantity) {
      case Quantity::Peak: return {t.first.peak * format.scale, t.peak};
      case Quantity::Mean: return {t.first.mean * format.scale, t.mean};
      case Quantity::Speed: return {t.second.speed * format.scale, t.speed};
      case Quantity::StopTime: return {t.first.stop * format.scale, t.stop};
      case Quantity::Distance: return {t.second.distance * format.scale, t.distance};
      case Quantity::PullAngle: return {(t.first.angle & 0x80u) != 0 ? double(degrees) : -double(degrees), t.angle};
      case Quantity::PullSideways: return {SidewaysPull(degrees, t.first.mean, format.scale), t.sideways};
    }
    return {0, t.peak};
  }();
  ShownQuantity q;
  q.quantity = quantity;
  q.text = WithoutLeadingSpaces(source.text);
  q.value = ShownNumber(format, source.number);
  q.number = ShownNumberText(format, source.number);
  q.unit = format.unit;
  return q;
}

std::vector<ShownQuantity> ShownQuantitiesOf(const InstrumentState& state, int number) {
  std::vector<ShownQuantity> out;
  if (number < 1 || number > 3) return out;
  const TestState& t = state.tests[static_cast<std::size_t>(number - 1)];
  for (Quantity q : ShownQuantities(state)) out.push_back(QuantityOf(t, q));
  return out;
}

}  // namespace protocol
