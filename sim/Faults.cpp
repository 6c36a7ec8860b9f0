// Fault rules: parsing, matching by command and request count, and reshaping of replies.
#include "sim/Faults.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "protocol/Protocol.h"

namespace sim {
namespace {

struct KindName {
  const char* name;
  FaultKind kind;
};
constexpr KindName kKinds[] = {{"noreply", FaultKind::NoReply},       {"checksum", FaultKind::WrongChecksum},
                               {"lowercase", FaultKind::LowerCaseChecksum}, {"address", FaultKind::WrongAddress},
                               {"garbage", FaultKind::Garbage},       {"linefeed", FaultKind::LineFeed},
                               {"split", FaultKind::Split},           {"type", FaultKind::UnknownType},
                               {"endless", FaultKind::Endless},       {"delay", FaultKind::Delay}};

bool ToInt(const std::string& s, int& out) {
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc{} && end == s.data() + s.size();
}

}  // namespace

namespace {

// The argument after '=' of the fault's kind, into `rule`; false with `error` set when it does
// not fit the kind.
bool ParseFaultArgument(const std::string& name, const std::optional<std::string>& arg, FaultRule& rule,
                        std::string& error) {
  switch (rule.kind) {
    case FaultKind::Garbage:
      if (arg) {
        if (arg->empty() || arg->find_first_of(":\r") != std::string::npos) {
          error = "garbage text must be non-empty and hold no ':' or carriage return";
          return false;
        }
        rule.garbage = *arg;
      }
      return true;
    case FaultKind::Split:
      if (arg) {
        const auto slash = arg->find('/');
        if (!ToInt(arg->substr(0, slash), rule.pieces) || rule.pieces < 2 ||
            (slash != std::string::npos && (!ToInt(arg->substr(slash + 1), rule.gapMs) || rule.gapMs < 0))) {
          error = "split takes PIECES (2 or more) and an optional /GAPMS";
          return false;
        }
      }
      return true;
    case FaultKind::Delay:
      if (!arg || !ToInt(*arg, rule.delayMs) || rule.delayMs < 0) {
        error = "delay takes =MS";
        return false;
      }
      return true;
    case FaultKind::UnknownType:
      if (arg) {
        if (arg->size() != 1 || std::string(":\r").find((*arg)[0]) != std::string::npos) {
          error = "type takes one character";
          return false;
        }
        rule.type = (*arg)[0];
      }
      return true;
    default:
      if (arg) {
        error = "fault '" + name + "' takes no argument";
        return false;
      }
      return true;
  }
}

// The selectors from `pos` on: "@command", "#from", "*count"; false with `error` set.
bool ParseFaultSelectors(const std::string& spec, std::size_t pos, FaultRule& rule, std::string& error) {
  bool hasFrom = false;
  while (pos != std::string::npos && pos < spec.size()) {
    const char tag = spec[pos];
    const auto next = spec.find_first_of("@#*", pos + 1);
    const std::string value = spec.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
    int n = 0;
    if (tag == '@') {
      if (value.empty()) {
        error = "@ needs a command";
        return false;
      }
      rule.command = value;
    } else if (!ToInt(value, n) || n < 1) {
      error = std::string(1, tag) + " needs a positive number";
      return false;
    } else if (tag == '#') {
      rule.from = n;
      hasFrom = true;
    } else {
      rule.count = n;
    }
    pos = next;
  }
  if (hasFrom && !rule.count) rule.count = 1;
  return true;
}

}  // namespace

std::optional<FaultRule> ParseFault(const std::string& spec, std::string& error) {
  FaultRule rule;
  rule.spec = spec;
  const auto headEnd = spec.find_first_of("@#*");
  const std::string head = spec.substr(0, headEnd);
  const auto eq = head.find('=');
  const std::string name = head.substr(0, eq);
  const std::optional<std::string> arg = eq == std::string::npos ? std::nullopt : std::optional(head.substr(eq + 1));
  const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const KindName& k) { return name == k.name; });
  if (kind == std::end(kKinds)) {
    error = "unknown fault '" + name + "'";
    return std::nullopt;
  }
  rule.kind = kind->kind;
  if (!ParseFaultArgument(name, arg, rule, error) || !ParseFaultSelectors(spec, headEnd, rule, error))
    return std::nullopt;
  return rule;
}

std::vector<std::string> FaultPlan::Specs() const {
  std::vector<std::string> out;
  for (const Rule& r : rules_) out.push_back(r.rule.spec);
  return out;
}

std::vector<Piece> FaultPlan::Shape(const std::string& body, const std::string& reply, int delayMs) {
  std::vector<const FaultRule*> hits;
  for (Rule& r : rules_) {
    if (body.compare(0, r.rule.command.size(), r.rule.command) != 0) continue;
    const int n = ++r.matched;
    if (n >= r.rule.from && (!r.rule.count || n < r.rule.from + *r.rule.count)) hits.push_back(&r.rule);
  }
  const auto hit = [&](FaultKind k) -> const FaultRule* {
    for (const FaultRule* r : hits)
      if (r->kind == k) return r;
    return nullptr;
  };
  if (hit(FaultKind::NoReply)) return {};

  // The frame without its carriage return: ':' marker address(4) type data checksum(2).
  std::string frame = reply;
  if (!frame.empty() && frame.back() == '\r') frame.pop_back();
  if (frame.size() >= 9) {
    if (hit(FaultKind::WrongAddress)) frame.replace(2, 4, frame.compare(2, 4, "XXXX") == 0 ? "YYYY" : "XXXX");
    if (const FaultRule* r = hit(FaultKind::UnknownType)) frame[6] = r->type;
    const std::size_t cs = frame.size() - 2;
    if (hit(FaultKind::WrongChecksum))
      frame.replace(cs, 2, protocol::Hex((protocol::HexField(frame, static_cast<int>(cs) + 1, 2) + 1) % 256, 2));
    // Only checksums with a letter digit look different in lower case.
    if (hit(FaultKind::LowerCaseChecksum))
      for (std::size_t i = cs; i < frame.size(); ++i) frame[i] = static_cast<char>(std::tolower(frame[i]));
  }
  if (hit(FaultKind::Endless)) {
    frame += std::string(40, 'F');  // past the receiver's 32-character limit, never a CR
  } else {
    frame += '\r';
    if (hit(FaultKind::LineFeed)) frame += '\n';
  }
  if (const FaultRule* r = hit(FaultKind::Garbage)) frame = r->garbage + frame;
  if (const FaultRule* r = hit(FaultKind::Delay)) delayMs = r->delayMs;

  std::vector<Piece> pieces;
  const FaultRule* split = hit(FaultKind::Split);
  const std::size_t parts = split ? std::min<std::size_t>(static_cast<std::size_t>(split->pieces), frame.size()) : 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i < parts; ++i) {
    const std::size_t end = frame.size() * (i + 1) / parts;
    pieces.push_back({i == 0 ? delayMs : split->gapMs, frame.substr(start, end - start)});
    start = end;
  }
  return pieces;
}

}  // namespace sim
