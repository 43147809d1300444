#pragma once

#include "engine/ISessionHost.h"

#include <array>
#include <cstdio>
#include <string>

/// Shows a test on standard streams: each listed result as one line on `out`
/// (URL, TAB, reason, TAB, site name, TAB, file name), log lines and messages on
/// `err`. Line ends are line feeds. Status texts, progress and the cursor have
/// nothing to show here.
class CCliHost : public ISessionHost {
public:
    CCliHost(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

    void ShowMessage(const std::string& text) override { WriteLine(m_err, text); }
    void Beep(BeepKind) override {}
    void AppendLog(const std::string& text) override;
    void ClearLogAndResults() override {}
    void AddResultCell(const std::string& text, int column, const std::string& file) override;
    void SetStatusPane(Pane, const std::string&) override {}
    void ShowProgress() override {}
    void UpdateProgress(const SProgressValues&) override {}
    void CloseProgress() override {}
    void SetActivityIndicator(int) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

    int RowsListed() const { return m_rowsListed; }

private:
    static void WriteLine(std::FILE* stream, const std::string& text);

    std::FILE* m_out;
    std::FILE* m_err;
    std::array<std::string, 3> m_row;
    int m_rowsListed = 0;
};
