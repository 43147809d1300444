// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"

#include <string>

class CResultsModel;

/// The listed results as GitHub Actions workflow commands, one line per row:
/// `::error file=PAGE,line=N,col=M::REASON: URL`, which the runner shows as an
/// annotation on that line of the page. `line` and `col` are left out when
/// unknown (0). PAGE is relative to `folder` when it lies under it, so that it
/// names the file in the repository the job checked out.
///
/// Escaped as the runner reads them: in the message `%`, CR and LF become
/// `%25`, `%0D` and `%0A`; in a property `:` and `,` also become `%3A` and
/// `%2C`. A byte that is not valid UTF-8 becomes U+FFFD. Lines end in LF. It
/// streams.
class CGithubReport {
public:
    static bool Export(const CResultsModel& rows, const std::string& folder,
                       const CReportWriter::FnWrite& write);
};
