// Injectable faults of the simulated instrument and how they reshape a reply before it goes
// on the wire. A fault rule is written KIND[=ARG][@COMMAND][#N][*COUNT]:
//   KIND     noreply | checksum (wrong) | lowercase (checksum digits) | address (wrong) |
//            garbage[=TEXT] (before the ':') | linefeed (after the CR) | split[=PIECES/GAPMS] |
//            type[=C] (unknown reply type, 'Z' by default) | endless (no CR, 40 filler bytes) |
//            delay=MS (this reply's delay instead of the instrument's)
//   @COMMAND only requests whose body starts with COMMAND ("0", "ST", "8" any block, "820")
//   #N       from the N-th matching request on (1-based); with #N alone the rule hits once
//   *COUNT   for COUNT matching requests; without #N and *COUNT the rule hits every time
// Examples: "checksum@0", "noreply#3", "split=3/20@1", "garbage=xx@Q*2".
// Pure: the shell schedules the pieces; nothing here sleeps or writes.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class FaultKind { NoReply, WrongChecksum, LowerCaseChecksum, WrongAddress, Garbage, LineFeed, Split, UnknownType, Endless, Delay };

struct FaultRule {
  FaultKind kind = FaultKind::NoReply;
  std::string command;  // body prefix; empty matches every request
  int from = 1;         // first matching request the rule hits (1-based)
  std::optional<int> count;  // how many matching requests it hits; none: all from `from` on
  // Arguments of the kinds that take one.
  std::string garbage = "~?junk";
  int pieces = 2;
  int gapMs = 20;
  int delayMs = 0;
  char type = 'Z';
  std::string spec;  // the text it was parsed from
};

// Parses one rule; on failure returns nothing and sets `error`.
std::optional<FaultRule> ParseFault(const std::string& spec, std::string& error);

// A part of a reply and the time to wait before writing it (after the previous part, or after
// the request for the first one).
struct Piece {
  int delayMs = 0;
  std::string bytes;
};

class FaultPlan {
public:
  void Add(FaultRule rule) { rules_.push_back(Rule{std::move(rule), 0}); }
  void Clear() { rules_.clear(); }
  std::vector<std::string> Specs() const;

  // Counts the request against every rule's command filter and turns the reply (a frame ending
  // in its carriage return) into the pieces to write: none for "noreply".
  std::vector<Piece> Shape(const std::string& body, const std::string& reply, int delayMs);

private:
  struct Rule {
    FaultRule rule;
    int matched;  // matching requests seen so far
  };
  std::vector<Rule> rules_;
};

}  // namespace sim
