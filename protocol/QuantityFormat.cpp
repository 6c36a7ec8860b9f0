// Display formats of the measured quantities.
#include "protocol/QuantityFormat.h"

#include <charconv>
#include <cmath>
#include <numbers>

#include "platform/formatting.h"

namespace protocol {

const char* QuantityKey(Quantity quantity) {
  switch (quantity) {
    case Quantity::Peak: return "peak";
    case Quantity::Mean: return "mean";
    case Quantity::Speed: return "speed";
    case Quantity::StopTime: return "stop_time";
    case Quantity::Distance: return "distance";
    case Quantity::PullAngle: return "pull_angle";
    case Quantity::PullSideways: return "pull_sideways";
  }
  return "";
}

QuantityFormat FormatOf(Quantity quantity, bool percentG, bool metric) {
  switch (quantity) {
    case Quantity::Peak:
    case Quantity::Mean: return percentG ? QuantityFormat{"##0.0", 0.1, "%g"} : QuantityFormat{"#0.00", 0.01, "m/s/s"};
    case Quantity::PullSideways:
      return percentG ? QuantityFormat{"##0.0", 0.1, "%g"} : QuantityFormat{"##0.0", 0.01, "m/s/s"};
    case Quantity::Speed: return metric ? QuantityFormat{"##0", 1.0, "kph"} : QuantityFormat{"##0", 1.0, "mph"};
    case Quantity::Distance: return metric ? QuantityFormat{"##0.0", 0.1, "mtr"} : QuantityFormat{"###0", 1.0, "feet"};
    case Quantity::StopTime: return {"##0.00", 0.01, "sec"};
    case Quantity::PullAngle: return {"##0", 1.0, "deg"};
  }
  return {"0", 1.0, ""};
}

std::string QuantityText(const QuantityFormat& format, double number) {
  return platform::FormatFloat(format.pattern, number) + " " + format.unit;
}

std::string ShownNumberText(const QuantityFormat& format, double number) {
  return platform::FormatFloat(format.pattern, number, '.');
}

double ShownNumber(const QuantityFormat& format, double number) {
  // The shown digits read back: the one rounding the window applies, whatever the binary value.
  const std::string digits = ShownNumberText(format, number);
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return number;  // NaN or infinity
  return value;
}

double SidewaysPull(unsigned angleDegrees, unsigned mean, double scale) {
  return std::sin(angleDegrees * std::numbers::pi / 180) * scale * mean;
}

}  // namespace protocol
