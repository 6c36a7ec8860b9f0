// Decimal conversion with the framework's error, shared by the program and the serial layer.
#include "platform/sysutils.h"

#include <cstdint>

namespace platform {

int StrToInt(const std::string& text) {
  const auto fail = [&text]() { return EConvertError("'" + text + "' is not a valid integer value"); };
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) throw fail();
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else throw fail();
    value = value * base + digit;
    // Hexadecimal may fill all 32 bits (as the framework allows); decimal must fit the sign.
    const int64_t limit = base == 16 ? INT64_C(0xFFFFFFFF) : (negative ? INT64_C(2147483648) : INT64_C(2147483647));
    if (value > limit) throw fail();
  }
  if (base == 16 && !negative) return static_cast<int>(static_cast<uint32_t>(value));
  return static_cast<int>(negative ? -value : value);
}

}  // namespace platform
