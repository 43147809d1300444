// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"

#include <string>
#include <string_view>

class CResultsModel;
struct SReportRun;

/// The SARIF 2.1.0 report, for code scanning: one run, one result per row of
/// the list in list order, each an error at the position of its link.
///
/// Each reason is a rule: its id is "LV" and the outcome code ("LV404",
/// "LV10060"), a code outside the known reasons is "LVUNKNOWN", and every rule
/// is listed in tool.driver.rules whether used or not, so the report streams.
/// A row's location is its file as a URI relative to `currentFolder`, or a
/// file:// URI for a page outside it, with the line and column of its link
/// (no region when they are unknown). Message texts are shown, not read back,
/// so a byte that is not UTF-8 in them becomes U+FFFD; URIs keep every byte,
/// percent-escaped.
class CSarifReport {
public:
    /// False as soon as a write fails.
    static bool Write(const CResultsModel& rows, const SReportRun& run,
                      const std::string& currentFolder, const CReportWriter::FnWrite& write);

    /// The URI of `file` as seen from `currentFolder` (an absolute path).
    static std::string ArtifactUri(const std::string& file, const std::string& currentFolder);
};
