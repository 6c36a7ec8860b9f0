// The measured quantities of a brake test as the window shows them: which tests and which of
// their boxes the window shows, and for each shown box its text, its number and its unit. The
// number is computed from the raw fields and the units the block was decoded in, never by
// reading the text back, and rounded as the text shows it. Pure: no Qt, no I/O.
#pragma once
#include <string>
#include <vector>

#include "protocol/InstrumentState.h"
#include "protocol/QuantityFormat.h"

namespace protocol {

struct ShownQuantity {
  Quantity quantity = Quantity::Peak;
  std::string text;    // the box's text as shown, leading spaces removed (single bytes, Latin-1)
  double value = 0;    // the number shown; the pull angle is positive to the right, negative to the left
  std::string number;  // `value` as shown with '.' for the decimal separator ("6.50", "-5")
  std::string unit;    // "%g", "m/s/s", "kph", "mph", "mtr", "feet", "sec", "deg"
};

// The tests the window shows: 1, 2 and 3 for the plus model, test 1 alone for the plain one.
std::vector<int> ShownTests(const InstrumentState& state);

// The boxes the window shows in each shown test column: peak and mean; speed, stop time and
// distance for the plus model only; the pull angle and sideways pull when "Measure Pull" was
// read as set.
std::vector<Quantity> ShownQuantities(const InstrumentState& state);

// One quantity of `test` from its raw fields, in the units its half was decoded in.
ShownQuantity QuantityOf(const TestState& test, Quantity quantity);

// The shown quantities of test `number` (1..3), in ShownQuantities' order.
std::vector<ShownQuantity> ShownQuantitiesOf(const InstrumentState& state, int number);

}  // namespace protocol
