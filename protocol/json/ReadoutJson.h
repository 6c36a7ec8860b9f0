// The JSON read-out format "dravik-readout/1" (docs/FORMATS.md): one object per read-out with
// where and when it was read, the instrument, its configuration, the examiner's entries and the
// tests the window shows, each quantity as its text, number and unit; under a regime each test
// also carries its verdict and the regime's name.
#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <vector>

#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

namespace protocol_json {

inline constexpr char kReadoutFormat[] = "dravik-readout/1";

// One read-out; `regime` (or null) adds "verdict" and "regime" to every test.
QJsonObject ReadoutToJson(const protocol::ReadoutRecord& record, const protocol::Regime* regime = nullptr);

// Several read-outs, one object each, in the order given.
QJsonArray ReadoutsToJson(const std::vector<protocol::ReadoutRecord>& records,
                          const protocol::Regime* regime = nullptr);

}  // namespace protocol_json
