// The read-out sequence as one table: the request each step sends, the reply type it expects,
// the result block it asks for, and the step a valid reply of that kind leads to. The
// controller builds its requests from it, the decoders move the step by it, and the simulator
// knows from it which result blocks exist. Pure: no I/O, no Qt.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace protocol {

// Which half of a brake test a result block carries.
enum class BlockHalf { Unknown, First, Second };

struct ReadoutStep {
  int step = 0;               // 0 .. 10
  std::string command;        // the command body sent at this step
  char replyType = 0;         // the reply type that answers it
  unsigned blockAddress = 0;  // for result blocks ('8'): 0x20 .. 0x48; 0 otherwise
  int test = 0;               // for result blocks: the brake test 1 .. 3; 0 otherwise
  BlockHalf half = BlockHalf::Unknown;
  int nextStep = 0;           // the step a valid reply of this row leads to
};

// Steps 0 .. 10 send a request of this table; step 11 is the connected state, where a queued
// command or the status poll goes out instead.
inline constexpr int kReadoutSteps = 11;
inline constexpr int kConnectedStep = 11;

const std::array<ReadoutStep, kReadoutSteps>& ReadoutTable();

// The row whose reply `frame` is (by its type, and its block address for a result block), or
// null for a reply that is not part of the read-out ('9', 'T', an unknown type or block).
const ReadoutStep* RowForReply(const std::string& frame);

// The row of a result block address, or null when the address is none of the six.
const ReadoutStep* RowForBlock(unsigned blockAddress);

// All steps' bits: a read-out in which every step's reply has been taken.
inline constexpr uint16_t kAllReadoutParts = (1u << kReadoutSteps) - 1;

}  // namespace protocol
