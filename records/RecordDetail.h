// What the records window shows of one kept read-out: every field the dravikPC window showed
// for it (the instrument and its calibration, status, clock, configuration boxes, each test the
// window shows with its boxes, the vehicle, examiner and notes), where and when it was read,
// each test's verdict under the chosen regime, and on request the reply frames as received.
// Pure (texts only); the window draws them.
#pragma once
#include <QString>
#include <QStringList>
#include <vector>

#include "protocol/ReadoutRecord.h"
#include "protocol/Verdicts.h"

struct DetailField {
  QString label;
  QString value;  // may hold line breaks (the notes)
};

struct DetailGroup {
  QString title;
  std::vector<DetailField> fields;
};

// The groups of `record`, in the window's order; verdicts under `regime` when it is given.
std::vector<DetailGroup> DetailGroups(const protocol::ReadoutRecord& record, const protocol::Regime* regime);

// One line per read-out step: the step, its request and the reply frame as received (bytes
// outside printable ASCII as \xNN).
QStringList FrameLines(const protocol::ReadoutRecord& record);

// The groups (and the frame lines, when not empty) as the HTML of a rich-text view; every text
// is escaped.
QString DetailHtml(const std::vector<DetailGroup>& groups, const QStringList& frameLines);
