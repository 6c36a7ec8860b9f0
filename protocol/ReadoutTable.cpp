// The read-out table and its look-ups.
#include "protocol/ReadoutTable.h"

#include "protocol/Protocol.h"

namespace protocol {

const std::array<ReadoutStep, kReadoutSteps>& ReadoutTable() {
  using H = BlockHalf;
  static const std::array<ReadoutStep, kReadoutSteps> table{{
      {0, kCmdIdentity, 'Q', 0, 0, H::Unknown, 1},
      {1, kCmdStatus, '0', 0, 0, H::Unknown, 2},
      {2, kCmdConfig, '1', 0, 0, H::Unknown, 3},
      {3, kCmdCalibration, '6', 0, 0, H::Unknown, 4},
      {4, kCmdClock, 'S', 0, 0, H::Unknown, 5},
      // Each brake test as two blocks: its first half, then its second half.
      {5, ResultBlockCommand(0x20), '8', 0x20, 1, H::First, 6},
      {6, ResultBlockCommand(0x28), '8', 0x28, 1, H::Second, 7},
      {7, ResultBlockCommand(0x30), '8', 0x30, 2, H::First, 8},
      {8, ResultBlockCommand(0x38), '8', 0x38, 2, H::Second, 9},
      {9, ResultBlockCommand(0x40), '8', 0x40, 3, H::First, 10},
      {10, ResultBlockCommand(0x48), '8', 0x48, 3, H::Second, kConnectedStep},
  }};
  return table;
}

const ReadoutStep* RowForBlock(unsigned blockAddress) {
  for (const ReadoutStep& row : ReadoutTable())
    if (row.replyType == '8' && row.blockAddress == blockAddress) return &row;
  return nullptr;
}

const ReadoutStep* RowForReply(const std::string& frame) {
  const char type = ReplyType(frame);
  if (type == '8') return RowForBlock(ByteAt(frame, 8));
  for (const ReadoutStep& row : ReadoutTable())
    if (row.replyType == type && type != 0) return &row;
  return nullptr;
}

}  // namespace protocol
