// The serial layer's message table: the text of every result code (errors negative, status
// texts positive), the words of the trace and dispatch-log dumps, and the lookup that falls
// back to the operating system's text for a code the table lacks. Standard library and
// platform/ only.
#pragma once
#include <array>
#include <cstddef>
#include <string>

struct TErrorMessage {
  int Code;          // result code; the table is keyed by its absolute value
  const char* Text;  // at most 255 characters
};

inline constexpr std::size_t ErrorMessageCount = 892;

// Sorted by the absolute value of Code; no absolute value occurs twice.
extern const std::array<TErrorMessage, ErrorMessageCount> ErrorMessageTable;

// Ids of the dump vocabulary (look them up with ErrorMessageText).
inline constexpr int kLogTypeNameBase = 15001;       // + log entry type (0 = "No event")
inline constexpr int kLogSubtypeNameBase = 15100;    // + log entry subtype
inline constexpr int kLogColumnHeader = 15501;       // the column titles "Time      Type ..."
inline constexpr int kLogColumnRule = 15502;         // the dashes under the column titles
inline constexpr int kModemStatusNameBase = 15601;   // + bit number 0..7 of the modem status byte
inline constexpr int kStatusKindLabelBase = 15346;   // + status trigger kind 0..5: "(Not active)" ...
inline constexpr int kTelnetOptionNameBase = 15700;  // + telnet option number 0..42

// The text for Code. Code is taken as a 16-bit signed value (only its low 16 bits count) and
// looked up by its absolute value, so a code and its negation give the same text. A code the
// table lacks gives the operating system's text for that error number, tidied, or an empty
// text. Never more than 255 characters.
std::string ErrorMessageText(int Code);

// Normalises a system message: every character below 32 becomes a space, then each run of
// spaces shrinks to one space. A leading space and a single trailing space stay.
std::string TidyMessageText(std::string Text);

// The lookup behind ErrorMessageText, exposed for tests: the index of the table entry whose
// absolute code is AbsCode, or -1. A binary search whose middle is (low + high) / 2 rounded to
// the nearest integer, ties to the even one.
int ErrorMessageIndex(int AbsCode);
int SearchMiddle(int Low, int High);
