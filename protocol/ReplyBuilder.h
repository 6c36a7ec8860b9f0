// Building reply frames as the instrument sends them: the frame around a reply's data with the
// right checksum, and the data of each reply from its fields. The simulator answers with these
// and the tests make their replies with them, so both agree with the checks in Protocol.h.
#pragma once
#include <cstdint>
#include <string>

#include "protocol/Protocol.h"

namespace protocol {

// The character in reply position 2 (not examined by the program).
inline constexpr char kReplyMarker = 'R';

// ':' marker address type data checksum, without the carriage return. `address` is used as
// given (four characters in a real reply).
std::string ReplyFrame(const std::string& address, char type, const std::string& data, char marker = kReplyMarker);

// The data of each reply, in the field order the decoders read (the configuration block's is
// ConfigBlockHex).
std::string StatusData(unsigned temperature, unsigned battery);
// "yymmdd" calibration date, three characters of service centre, the version character(s).
std::string CalibrationData(const std::string& yymmdd, const std::string& serviceCentre, const std::string& version);
// A first-half block: stop time, a spare byte, the angle byte, mean and peak.
std::string FirstHalfData(unsigned block, unsigned stop, unsigned spare, unsigned angle, unsigned mean, unsigned peak);
// A second-half block: "yymmddhhmm" as the instrument stores it, speed and distance.
std::string SecondHalfData(unsigned block, const std::string& yymmddhhmm, unsigned speed, unsigned distance);

}  // namespace protocol
