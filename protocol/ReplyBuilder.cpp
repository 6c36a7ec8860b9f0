// Reply frames and reply data from their fields.
#include "protocol/ReplyBuilder.h"

namespace protocol {

std::string ReplyFrame(const std::string& address, char type, const std::string& data, char marker) {
  unsigned sum = 0;
  for (const char c : data) sum += static_cast<unsigned char>(c);
  return std::string(1, ':') + marker + address + type + data + Hex(sum % 256, 2);
}

std::string StatusData(unsigned temperature, unsigned battery) { return Hex(temperature, 2) + Hex(battery, 2); }

std::string CalibrationData(const std::string& yymmdd, const std::string& serviceCentre, const std::string& version) {
  return yymmdd + serviceCentre + version;
}

std::string FirstHalfData(unsigned block, unsigned stop, unsigned spare, unsigned angle, unsigned mean, unsigned peak) {
  return Hex(block, 2) + Hex(stop, 4) + Hex(spare, 2) + Hex(angle, 2) + Hex(mean, 4) + Hex(peak, 4);
}

std::string SecondHalfData(unsigned block, const std::string& yymmddhhmm, unsigned speed, unsigned distance) {
  return Hex(block, 2) + yymmddhhmm + Hex(speed, 2) + Hex(distance, 4);
}

}  // namespace protocol
