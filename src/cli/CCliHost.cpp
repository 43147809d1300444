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

void CCliHost::AddResultCell(const std::string& text, int column, const std::string& file) {
    if (column < 0 || column > 2)
        return;
    if (column == 0)
        m_row = {};
    m_row[static_cast<std::size_t>(column)] = text;
    if (column == 2) {
        WriteLine(m_out, m_row[0] + '\t' + m_row[1] + '\t' + m_row[2] + '\t' + file);
        ++m_rowsListed;
    }
}
