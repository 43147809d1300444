// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// What a report says of the run behind its rows, beyond the rows: filled by
/// whoever ran the test once it has ended.
struct SReportRun {
    std::string toolName = "linkvet-cli";
    std::string version;   ///< the program's version, "2.2.0"
    std::string startTime; ///< ISO 8601 in UTC, "2026-01-31T12:00:00.000Z"
    std::string endTime;

    // The options in force.
    std::string path; ///< what was tested, as given
    bool bAll = false;
    bool bRecurse = false;
    bool bHtmlOnly = false;
    bool bCurrentWeb = false;
    bool bLocalLinks = false; ///< links between the pages were checked too
    std::string localRoot;    ///< what a link beginning with "/" started from
    std::string filter;       ///< one character per reason, "0" hides it
    int timeoutSeconds = 0;
    int jobs = 1;
    int perHost = 0;
    int httpPort = 80;
    int ftpPort = 21;
    int repair = -1; ///< the repair type asked for, or -1 for none

    long files = 0;       ///< files read
    long linksTested = 0; ///< links settled, listed or not
};
