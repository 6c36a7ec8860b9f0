// Text layout of the trace and dispatch-log dumps.
#include "serial/AwUserDumpFormat.h"

#include <cstdio>

#include "serial/AwUser.h"

std::string DumpByteForm(uint8_t Byte, bool AllHex, bool Hex) {
  char text[8];
  const uint8_t firstPrintable = Hex ? 0x21 : 0x20;
  if (!AllHex && Byte >= firstPrintable && Byte <= 0x7E) return std::string(1, static_cast<char>(Byte));
  if (AllHex || Hex)
    std::snprintf(text, sizeof text, "[%02X]", Byte);
  else
    std::snprintf(text, sizeof text, "[%u]", Byte);
  return text;
}

std::string FormatTraceText(std::span<const uint8_t> Older, std::span<const uint8_t> Newer,
                            bool AllHex, bool Hex) {
  std::string out;
  int currentKind = -1;
  size_t column = 0;
  auto emit = [&](std::span<const uint8_t> pairs) {
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
      const uint8_t kind = pairs[i];
      if (kind != currentKind) {
        if (currentKind != -1) out += "\n\n";
        if (kind == 'T')
          out += "Transmit: ";
        else if (kind == 'R')
          out += "Receive: ";
        else
          out += std::string("Special-") + static_cast<char>(kind) + ": ";
        out += '\n';
        currentKind = kind;
        column = 0;
      }
      const std::string form = DumpByteForm(pairs[i + 1], AllHex, Hex);
      if (column + form.size() > 78) {
        out += '\n';
        column = form.size();
      } else {
        column += form.size();
      }
      out += form;
    }
  };
  emit(Older);
  emit(Newer);
  if (currentKind != -1) out += '\n';
  return out;
}

std::string FormatLogTime(uint32_t Milliseconds) {
  // Seconds (at least four digits) and milliseconds.
  char text[24];
  std::snprintf(text, sizeof text, "%04u.%03u", Milliseconds / 1000, Milliseconds % 1000);
  return text;
}

std::string StatusKindLabel(uint8_t Kind) {
  static const char* const labels[] = {"(Not active)",         "(Modem status)",
                                       "(Line status)",        "(Output buffer free)",
                                       "(Output buffer used)", "(Output sent)"};
  return Kind < std::size(labels) ? labels[Kind] : "";
}

std::string FormatLogHeader(const std::string& OperatingSystem, const std::string& DeviceName,
                            const std::tm& LocalTime) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%d/%m/%y, %H:%M:%S", &LocalTime);
  std::string out;
  out += "TALO v4.06\n";
  out += "Compiler : Unknown\n";
  out += "Operating System : " + OperatingSystem + "\n";
  out += "Device: " + DeviceName + "\n";
  out += std::string("Date/time: ") + stamp + "\n";
  out += "Time      Type      SubType       Data      OtherData\n";
  out += "--------  --------  ------------  --------  ---------\n";
  return out;
}

std::string FormatLogEntry(uint32_t Milliseconds, uint8_t Type, uint8_t SubType,
                           const std::string& TypeName, const std::string& SubTypeName,
                           int32_t Value, std::span<const uint8_t> Data, bool AllHex, bool Hex) {
  char fixed[128];
  std::snprintf(fixed, sizeof fixed, "%8s  %-8s  %-12s  %08X  ", FormatLogTime(Milliseconds).c_str(),
                TypeName.c_str(), SubTypeName.c_str(), static_cast<uint32_t>(Value));
  std::string out = fixed;
  if (!Data.empty()) {
    if (SubType == dstStatusTrigger && (Type == dtTriggerAlloc || Type == dtTriggerDispose)) {
      out += StatusKindLabel(Data[0]);
    } else {
      size_t column = 45;
      for (uint8_t byte : Data) {
        const std::string form = DumpByteForm(byte, AllHex, Hex);
        column += form.size();
        if (column >= 79) {
          out += '\n';
          out += std::string(44, ' ');
          column = form.size() + 45;
        }
        out += form;
      }
    }
  }
  out += '\n';
  return out;
}
