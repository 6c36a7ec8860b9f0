// The text format of a read-out: what a person reads in a terminal, in the window's groups
// (instrument and calibration, configuration, results, notes) and with the window's texts.
#pragma once
#include <QString>

#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

// With a regime, a last row gives each test's verdict.
QString ReadoutText(const protocol::ReadoutRecord& record, const protocol::Regime* regime = nullptr);
