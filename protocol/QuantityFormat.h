// How the window shows each measured quantity of a brake test: the display pattern, the scale
// from the instrument's raw field to the number shown, and the unit text, chosen by the
// "%g readings" and "Metric Units" flags. The decoders make the window's texts with it and the
// export formats take the shown numbers from it, so a text and its number cannot drift apart.
#pragma once
#include <array>
#include <string>

namespace protocol {

enum class Quantity { Peak, Mean, Speed, StopTime, Distance, PullAngle, PullSideways };
inline constexpr std::array<Quantity, 7> kAllQuantities{Quantity::Peak,     Quantity::Mean,      Quantity::Speed,
                                                        Quantity::StopTime, Quantity::Distance,  Quantity::PullAngle,
                                                        Quantity::PullSideways};

// The quantity's key in the export formats: "peak", "mean", "speed", "stop_time", "distance",
// "pull_angle", "pull_sideways".
const char* QuantityKey(Quantity quantity);

struct QuantityFormat {
  const char* pattern;  // display pattern of platform::FormatFloat ("##0.0", "#0.00", ...)
  double scale;         // raw field x scale = the number shown (before rounding)
  const char* unit;     // "%g", "m/s/s", "kph", "mph", "mtr", "feet", "sec", "deg"
};

// `percentG`: readings in tenths of %g, else hundredths of m/s². `metric`: whole kph and tenths
// of a metre, else whole mph and feet. The sideways pull keeps one decimal in both units.
QuantityFormat FormatOf(Quantity quantity, bool percentG, bool metric);

// `number` (already scaled) in the pattern with the user's decimal separator, a space, the unit.
std::string QuantityText(const QuantityFormat& format, double number);

// `number` rounded exactly as QuantityText shows it (the pattern's decimals, on the shortest
// decimal form), as a double: 650 x 0.1 gives 65.0, not 65.00000000000001.
double ShownNumber(const QuantityFormat& format, double number);

// `number` as QuantityText shows it but with '.' as the decimal separator and without the unit
// ("65.0", "6.50"): the locale-free form the CSV export writes.
std::string ShownNumberText(const QuantityFormat& format, double number);

// The sideways part of a deceleration: sin(angle) x scale x mean, the angle in whole degrees.
double SidewaysPull(unsigned angleDegrees, unsigned mean, double scale);

}  // namespace protocol
