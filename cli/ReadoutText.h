// The text format of a read-out: what a person reads in a terminal, in the window's groups
// (instrument and calibration, configuration, results) and with the window's texts.
#pragma once
#include <QString>

#include "protocol/ReadoutRecord.h"

QString ReadoutText(const protocol::ReadoutRecord& record);
