// Frame building, reply checks and field access of the instrument protocol.
#include "protocol/Protocol.h"

#include "platform/formatting.h"

namespace protocol {

std::string Sub(const std::string& text, int pos, int len) {
  if (len <= 0) return {};
  // A start before position 1 behaves as position 1 with the length cut accordingly.
  if (pos < 1) {
    len -= 1 - pos;
    pos = 1;
    if (len <= 0) return {};
  }
  const auto start = static_cast<std::size_t>(pos - 1);
  if (start >= text.size()) return {};
  return text.substr(start, static_cast<std::size_t>(len));
}

std::optional<char> CharAt(const std::string& text, int pos) {
  const std::string c = Sub(text, pos, 1);
  if (c.empty()) return std::nullopt;
  return c[0];
}

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

unsigned HexField(const std::string& text, int pos, int width) {
  const std::string field = Sub(text, pos, width);
  if (field.empty()) return 0;
  unsigned value = 0;
  for (const char c : field) {
    const int d = HexDigitValue(c);
    if (d < 0) return 0;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return value;
}

std::string Hex(unsigned value, int width) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return out;
}

unsigned RequestChecksum(const std::string& address, const std::string& body) {
  unsigned sum = static_cast<unsigned char>('g');
  for (const char c : address) sum += static_cast<unsigned char>(c);
  for (const char c : body) sum += static_cast<unsigned char>(c);
  return sum % 256;
}

std::string BuildRequest(const std::string& address, const std::string& body) {
  const std::string addr = Sub(address, 1, 4);
  return "!g" + addr + body + Hex(RequestChecksum(addr, body), 2) + kCarriageReturn;
}

unsigned ReplyChecksum(const std::string& frame) {
  const int length = static_cast<int>(frame.size());
  if (length < 10) return 0;
  unsigned sum = 0;
  for (const char c : Sub(frame, 8, length - 9)) sum += static_cast<unsigned char>(c);
  return sum % 256;
}

bool CheckReply(const std::string& frame, const std::string& address) {
  const int length = static_cast<int>(frame.size());
  // Shorter than ':', one character, the address, the type and two checksum digits, the type
  // (or the address) would double as the checksum: ":x012300" would pass as a status reply
  // without data, and with address 0000 even ":x0000" would pass.
  if (length < kMinReplyLength) return false;
  return Sub(frame, 1, 1) == ":" && Sub(frame, 3, 4) == address &&
         Sub(frame, length - 1, 2) == Hex(ReplyChecksum(frame), 2);
}

char ReplyType(const std::string& frame) { return CharAt(frame, 7).value_or('\0'); }

bool CollectReplyChar(std::string& frame, bool& inFrame, char c) {
  if (c == ':') inFrame = true;
  if ((c == kCarriageReturn && inFrame) || frame.size() > kMaxFrameLength) {
    inFrame = false;
    return true;
  }
  if (inFrame)
    frame += c;
  else
    frame.clear();
  return false;
}

namespace {

// A command letter and its fields. Appended, not `"8" + text`: g++ 12 warns (-Wrestrict, a false
// positive) about the insert that literal + string inlines to.
std::string Command(char letter, const std::string& fields) {
  std::string command(1, letter);
  command += fields;
  return command;
}

}  // namespace

std::string ResultBlockCommand(unsigned blockAddress) { return Command('8', Hex(blockAddress, 2)); }

std::string ConfigBlockHex(const ConfigBlock& b) {
  return Hex(b.setupByte1, 2) + Hex(b.setupByte2, 2) + Hex(b.featureWord, 4) + Hex(b.setupByte3, 2) +
         Hex(b.setupByte4, 2) + Hex(b.flagsWord, 4);
}

ConfigBlock ParseConfigBlock(const std::string& hex) {
  ConfigBlock b;
  b.setupByte1 = static_cast<uint8_t>(ByteAt(hex, 1));
  b.setupByte2 = static_cast<uint8_t>(ByteAt(hex, 3));
  b.featureWord = static_cast<uint16_t>(WordAt(hex, 5));
  b.setupByte3 = static_cast<uint8_t>(ByteAt(hex, 9));
  b.setupByte4 = static_cast<uint8_t>(ByteAt(hex, 11));
  b.flagsWord = static_cast<uint16_t>(WordAt(hex, 13));
  return b;
}

std::string ConfigWriteCommand(ConfigBlock block, uint16_t flagsWord) {
  block.flagsWord = flagsWord;
  return Command('9', ConfigBlockHex(block));
}

std::string ClockSetCommand(const std::tm& localTime) {
  return Command('T', platform::FormatDateTime("yymmddhhmmss", localTime));
}

}  // namespace protocol
