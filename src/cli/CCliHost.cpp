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
    WriteLine(m_err, line);
}

bool CCliHost::AskYesNo(const std::string& question) {
    WriteLine(m_err, question);
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
