#include "cli/CCliHost.h"

void CCliHost::WriteLine(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
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

void CCliHost::AddResultRow(const SResultRow& row) {
    WriteLine(m_out, row.url + '\t' + row.reason + '\t' + row.siteName + '\t' + row.fileName);
    ++m_rowsListed;
}
