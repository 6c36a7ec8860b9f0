// Lookup of the message table and the tidying of system message texts.
#include "serial/AdStrMap.h"

#include <cstdint>

#include "platform/syserror.h"

namespace {

constexpr std::size_t kMaxText = 255;

}  // namespace

int SearchMiddle(int Low, int High) {
  // Low, High >= 0 and small (table indices), so the sum cannot overflow.
  const int sum = Low + High;
  const int down = sum / 2;
  if (sum % 2 == 0) return down;
  return down % 2 == 0 ? down : down + 1;  // a tie: the even neighbour
}

int ErrorMessageIndex(int AbsCode) {
  int low = 0;
  int high = static_cast<int>(ErrorMessageTable.size()) - 1;
  while (low <= high) {
    const int middle = SearchMiddle(low, high);
    const int code = ErrorMessageTable[static_cast<std::size_t>(middle)].Code;
    const int key = code < 0 ? -code : code;
    if (AbsCode == key) return middle;
    if (AbsCode < key) high = middle - 1;
    else low = middle + 1;
  }
  return -1;
}

std::string ErrorMessageText(int Code) {
  // Callers hand over 16-bit codes; only the low 16 bits count. Widened back to int before
  // negating, so -32768 gives 32768 instead of overflowing.
  const int code16 = static_cast<std::int16_t>(Code);
  const int absCode = code16 < 0 ? -code16 : code16;
  const int index = ErrorMessageIndex(absCode);
  if (index >= 0) {
    std::string text = ErrorMessageTable[static_cast<std::size_t>(index)].Text;
    if (text.size() > kMaxText) text.resize(kMaxText);
    return text;
  }
  std::string system = platform::SystemErrorText(static_cast<unsigned long>(absCode));
  if (system.empty()) return system;
  std::string tidy = TidyMessageText(std::move(system));
  if (tidy.size() > kMaxText) tidy.resize(kMaxText);
  return tidy;
}

std::string TidyMessageText(std::string Text) {
  std::string out;
  out.reserve(Text.size());
  for (char c : Text) {
    const char ch = static_cast<unsigned char>(c) < 32 ? ' ' : c;
    if (ch == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(ch);
  }
  return out;
}
