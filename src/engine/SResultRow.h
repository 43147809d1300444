// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

/// One listed result: what the session hands its host, and what the results
/// list keeps. Every text is the bytes as they were found.
struct SResultRow {
    std::string url;
    std::string reason;
    std::string siteName; ///< the anchor text
    std::string fileName; ///< the page's full path
    /// Low 16 bits: the repaired mark; high 16 bits: the file-finished mark.
    /// 0 when the row is listed; only repair sets the marks.
    std::uint32_t itemData = 0;
    /// The line of the page its link starts on (1 for the first); 0 when unknown.
    int line = 0;
    /// The byte of that line its URL starts at (1 for the first); 0 when unknown.
    int column = 0;
    /// How its probe ended: the HTTP status, or the 100xx code of a failure.
    unsigned code = 0;
    /// The answer came at the end of redirects (current-web mode).
    bool bRedirected = false;

    bool operator==(const SResultRow&) const = default;
};
