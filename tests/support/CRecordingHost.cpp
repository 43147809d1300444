#include "support/CRecordingHost.h"

#include <gtest/gtest.h>
#include <sstream>

void CRecordingHost::AddResultCell(const std::string& text, int column, const std::string& file) {
    if (column == 0) {
        m_rows.push_back(Row{text, "", "", ""});
        return;
    }
    ASSERT_FALSE(m_rows.empty()) << "a cell of column " << column << " without a row";
    m_rows.back()[static_cast<std::size_t>(column)] = text;
    if (column == 2)
        m_rows.back()[3] = file;
}

void CRecordingHost::SetStatusPane(Pane pane, const std::string& text) {
    (pane == Pane::Connection ? m_pane1 : m_pane2) = text;
    m_paneHistory.push_back((pane == Pane::Connection ? "1:" : "2:") + text);
}

std::string CRecordingHost::LogWithoutDates() const {
    std::istringstream in(m_log);
    std::string line, out;
    while (std::getline(in, line)) {
        for (const char* dated : {"Start of test ", "End of test: "})
            if (line.rfind(dated, 0) == 0)
                line = std::string(dated) + "<date>\r";
        out += line + "\n";
    }
    return out;
}
