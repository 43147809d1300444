// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"

class CResultsModel;

/// The listed results as Markdown, ready to paste into a pull-request comment
/// or a CI job's summary: a count, then for each run of rows of one page a
/// heading with the page and a table of line, URL, reason and anchor name.
///
/// Page text is shown as text, never as markup: `&`, `<`, `>` and `"` become
/// HTML entities, the characters Markdown gives a meaning (backslash, backtick,
/// `*`, `_`, brackets, parentheses, braces, `#`, `+`, `-`, `!`, `|`, `~`) are
/// escaped with a backslash, a line end within a cell becomes `<br>`, a tab a
/// space, and any other control character or byte that is not valid UTF-8
/// becomes U+FFFD. A URL is not made a link. Lines end in LF. It streams.
class CMarkdownReport {
public:
    static bool Export(const CResultsModel& rows, const CReportWriter::FnWrite& write);
};
