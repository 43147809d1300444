// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ISessionHost.h"
#include "export/CJunitReport.h"
#include "results/CResultsModel.h"

#include <cstdio>
#include <functional>
#include <string>

/// Shows a test on standard streams: each listed result as one line on `out`
/// (URL, TAB, reason, TAB, site name, TAB, file name), log lines and messages on
/// `err`. Line ends are line feeds. Status texts, progress and the cursor have
/// nothing to show here.
///
/// Each result is flushed as it is written, so a reader that has gone is noticed
/// at the first result it misses: from then on `out` is left alone and
/// OutputFailed() holds.
///
/// For a report the listed results are also kept, in order, as the window's
/// list keeps them.
class CCliHost : public ISessionHost {
public:
    CCliHost(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

    void ShowMessage(const std::string& text) override { WriteErr(text); }
    /// Nobody is there to answer: the question is shown and taken as No.
    bool AskYesNo(const std::string& question) override;
    void AppendLog(const std::string& text) override;
    void AddResultRow(const SResultRow& row) override;
    void LinkSettled(const std::string& url, const std::string& page, bool bListed) override;

    /// From now on every listed result is kept; with `bPrint` false it is kept
    /// only, and `out` is left to the report.
    void KeepRows(bool bPrint);
    /// The kept results; empty unless KeepRows() was called.
    const CResultsModel& KeptRows() const { return m_keptRows; }
    CResultsModel& KeptRows() { return m_keptRows; }
    /// From now on every settled link is kept, for the JUnit report.
    void KeepTestedLinks() { m_bKeepTested = true; }
    /// The kept links; empty unless KeepTestedLinks() was called.
    const CJunitReport& TestedLinks() const { return m_testedLinks; }

    /// A line on `err` that the next one replaces, for progress on a terminal;
    /// "" takes it away.
    void ShowStatusLine(const std::string& text);

    int RowsListed() const { return m_rowsListed; }
    bool OutputFailed() const { return m_bOutputFailed; }
    /// `onFailed` runs once, when a result cannot be written.
    void SetOnOutputFailed(std::function<void()> onFailed) {
        m_onOutputFailed = std::move(onFailed);
    }

private:
    /// False when the line, or its flush, could not be written.
    static bool WriteLine(std::FILE* stream, const std::string& text);
    void WriteErr(const std::string& text);

    std::FILE* m_out;
    std::FILE* m_err;
    CResultsModel m_keptRows;
    bool m_bKeepRows = false;
    CJunitReport m_testedLinks;
    bool m_bKeepTested = false;
    bool m_bPrintRows = true;
    int m_rowsListed = 0;
    bool m_bOutputFailed = false;
    bool m_bStatusLineShown = false;
    std::function<void()> m_onOutputFailed;
};
