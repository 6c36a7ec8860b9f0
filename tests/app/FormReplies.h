// Putting the window into a state without an instrument: a valid reply handed to the session
// as its receive path would, which the window then draws.
#pragma once
#include <string>

#include "app/DravikPCMain.h"
#include "protocol/ReplyBuilder.h"

// `frame` (without its carriage return) as a valid reply from instrument 0123.
inline void TakeReply(TDravikPCMainForm& form, const std::string& frame) {
  form.Session->RxFrame = frame;
  form.Session->HandleReply();
}

inline std::string ReplyFrom0123(char type, const std::string& data) { return protocol::ReplyFrame("0123", type, data); }

// A configuration read with setup bytes 14 04 64 19 and the given words.
inline void ReadConfigBlock(TDravikPCMainForm& form, uint16_t feature, uint16_t flags) {
  const protocol::ConfigBlock block{0x14, 0x04, feature, 0x64, 0x19, flags};
  TakeReply(form, ReplyFrom0123('1', protocol::ConfigBlockHex(block)));
}

// A configuration read of the plus or the plain model with `flags` (by default "Measure Pull",
// "%g readings" and "Metric Units").
inline void ReadModel(TDravikPCMainForm& form, bool plus, uint16_t flags = 0xB000) {
  ReadConfigBlock(form, plus ? 0x0020 : 0x0000, flags);
}
