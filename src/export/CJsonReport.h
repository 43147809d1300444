// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"

class CResultsModel;
struct SReportRun;

/// The JSON report: one object with the tool, the run's times, the options in
/// force, the totals and every row of the list in list order. The shape is
/// res/linkvet-report.schema.json; texts taken from pages are bytes, written as
/// CJsonStream writes them reversibly (`\udcXX` for a byte that is not UTF-8).
/// One row per line, lines ending in LF; nothing is held beyond a piece.
class CJsonReport {
public:
    static constexpr int kFormatVersion = 1;

    /// False as soon as a write fails.
    static bool Write(const CResultsModel& rows, const SReportRun& run,
                      const CReportWriter::FnWrite& write);
};
