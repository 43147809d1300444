// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CCliHost.h"

bool CCliHost::WriteLine(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    return std::fflush(stream) == 0 && std::ferror(stream) == 0;
}

void CCliHost::AppendLog(const std::string& text) {
    // The log's own line ends are CR LF; here they are plain line feeds.
    std::string line = text;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.replace(line.size() - 2, 2, "\n");
    WriteErr(line);
}

void CCliHost::WriteErr(const std::string& text) {
    ShowStatusLine("");
    WriteLine(m_err, text);
}

void CCliHost::ShowStatusLine(const std::string& text) {
    if (text.empty() && !m_bStatusLineShown)
        return;
    // Back to the line's start, the text, and the rest of the old line erased.
    std::fputs(("\r" + text + "\x1b[K").c_str(), m_err);
    std::fflush(m_err);
    m_bStatusLineShown = !text.empty();
}

bool CCliHost::AskYesNo(const std::string& question) {
    WriteErr(question);
    return false;
}

void CCliHost::KeepRows(bool bPrint) {
    m_bKeepRows = true;
    m_bPrintRows = bPrint;
}

void CCliHost::AddResultRow(const SResultRow& row) {
    if (m_bOutputFailed)
        return;
    ++m_rowsListed;
    if (m_bKeepRows)
        m_keptRows.AddRow(row);
    if (!m_bPrintRows)
        return;
    if (WriteLine(m_out, row.url + '\t' + row.reason + '\t' + row.siteName + '\t' + row.fileName))
        return;
    m_bOutputFailed = true;
    if (m_onOutputFailed)
        m_onOutputFailed();
}

void CCliHost::LinkSettled(const std::string& url, const std::string& page, bool bListed) {
    if (m_bKeepTested)
        m_testedLinks.AddTested(page, url, bListed);
}
