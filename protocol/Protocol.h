// The dravik instrument's wire protocol: request frames and their checksum, reply checks,
// 1-based field access into reply frames, and the command bodies the program sends. Frames are
// std::string of single bytes; nothing here touches a port or a widget.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace protocol {

constexpr char kCarriageReturn = '\r';
// The address of the identity query, before the serial number is known.
inline const std::string kIdentityAddress = "####";
// A receiver closes a frame that grows beyond this many characters without a carriage return.
constexpr std::size_t kMaxFrameLength = 32;

// --- 1-based field access -------------------------------------------------------------------

// Characters `pos` .. `pos + len - 1` of `text`, counting from 1; the part that lies beyond the
// end is simply missing (a field cut short yields fewer characters, one wholly beyond yields "").
// Every decoder reads frame positions through this one helper.
std::string Sub(const std::string& text, int pos, int len);

// The character at 1-based position `pos`, or nothing when the text is shorter.
std::optional<char> CharAt(const std::string& text, int pos);

// The hexadecimal number in characters `pos` .. `pos + width - 1` (upper- or lower-case
// digits). A field cut short by the end of the text is read from the characters that are there;
// a field wholly beyond the end or holding any non-hex character is 0.
unsigned HexField(const std::string& text, int pos, int width);
inline unsigned ByteAt(const std::string& text, int pos) { return HexField(text, pos, 2); }
inline unsigned WordAt(const std::string& text, int pos) { return HexField(text, pos, 4); }

// `value` as `width` upper-case hexadecimal digits with leading zeros (low bits kept).
std::string Hex(unsigned value, int width);

// --- Requests -------------------------------------------------------------------------------

// Sum of the character codes of "g" + address + body, modulo 256 (the "!" is not included).
unsigned RequestChecksum(const std::string& address, const std::string& body);

// "!" "g" address body checksum CR. Only the first four characters of `address` are used, as
// the address is the first four characters of the serial-number box.
std::string BuildRequest(const std::string& address, const std::string& body);

// --- Replies --------------------------------------------------------------------------------

// Sum of the character codes at positions 8 .. L-2 (the data) modulo 256, L = frame length
// without the carriage return; 0 when the frame has fewer than 10 characters.
unsigned ReplyChecksum(const std::string& frame);

// A completed reply frame (from its ':' up to, not including, the carriage return) is valid
// when position 1 is ':', positions 3..6 equal `address` (the address the last request went
// to) and the last two characters are the reply checksum in upper-case hexadecimal. The
// comparison is exact: lower-case checksum digits fail. A frame shorter than kMinReplyLength
// (':', one character, the address, the type, two checksum digits) is never valid.
inline constexpr int kMinReplyLength = 9;
bool CheckReply(const std::string& frame, const std::string& address);

// The reply type: the character at position 7 ('\0' when the frame is shorter).
char ReplyType(const std::string& frame);

// Frame assembly: takes one received character into the reply being collected. `frame` holds
// the reply from its ':' on, `inFrame` whether a ':' has opened it. Returns true when `c`
// completes the frame: a carriage return inside a frame, or any character once more than
// kMaxFrameLength characters have been collected; `c` is then not added, `inFrame` is cleared
// and `frame` keeps the completed frame for the checks. Otherwise `c` is appended inside a
// frame, and outside one it is dropped together with whatever `frame` still held. A frame
// never grows beyond kMaxFrameLength + 1 characters.
bool CollectReplyChar(std::string& frame, bool& inFrame, char c);

// --- Command bodies -------------------------------------------------------------------------

inline const std::string kCmdIdentity = "Q";
inline const std::string kCmdStatus = "0";
inline const std::string kCmdConfig = "1";
inline const std::string kCmdCalibration = "6";
inline const std::string kCmdClock = "ST";

// "8" + block address as two upper-case hex digits ("820" for block 0x20).
std::string ResultBlockCommand(unsigned blockAddress);

// The instrument's configuration block as the '1' reply carries it and the "9" command writes
// it back. A default-constructed block is the one written while none has been read yet.
struct ConfigBlock {
  uint8_t setupByte1 = 20;
  uint8_t setupByte2 = 4;
  uint16_t featureWord = 0;
  uint8_t setupByte3 = 100;
  uint8_t setupByte4 = 25;
  uint16_t flagsWord = 0;
};

// The block in reply order (setup bytes 1 and 2, feature word, setup bytes 3 and 4, flags word)
// as 16 upper-case hex digits: the data of the '1' reply and of the "9" command.
std::string ConfigBlockHex(const ConfigBlock& block);

// The block from its 16 hex digits in that order; fields cut short or not hexadecimal read as
// HexField reads them.
ConfigBlock ParseConfigBlock(const std::string& hex);

// "9" + the block with `flagsWord` as its flags word (17 characters).
std::string ConfigWriteCommand(ConfigBlock block, uint16_t flagsWord);

// "T" + yymmddhhmmss of the given local time (13 characters).
std::string ClockSetCommand(const std::tm& localTime);

}  // namespace protocol
