// ReadoutRecord: one complete read-out as it is kept, printed again and exported: the
// instrument's state as decoded, where and when it was read, which brake each test was ticked
// as, and what the examiner typed. A plain value; the archive makes it from its rows (the state
// re-decoded from the reply frames it keeps) and the formats take it apart.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/InstrumentState.h"

namespace protocol {

// The brake of each test column: test 1 is ticked as the main brake (MainCB), test 2 as the
// secondary brake (SecondaryCB), test 3 as the parking brake (ParkingCB).
enum class BrakeKind { Main, Secondary, Parking };
inline constexpr std::array<BrakeKind, 3> kTestBrakes{BrakeKind::Main, BrakeKind::Secondary, BrakeKind::Parking};

struct ReadoutRecord {
  std::optional<int64_t> id;  // the archive's id; none for a read-out that was not kept
  int64_t readAtUtcMs = 0;    // the PC's time when the read-out completed, ms since 1970 UTC
  int port = 0;               // the COM number it was read on
  InstrumentState state;      // a complete read-out
  std::array<bool, 3> brakeTicked{};  // MainCB, SecondaryCB, ParkingCB as last kept
  std::string vehicle;   // VehicleEB, UTF-8
  std::string examiner;  // ExaminerEB, UTF-8
  std::string notes;     // Memo1's text, UTF-8, lines separated by "\n"
};

}  // namespace protocol
