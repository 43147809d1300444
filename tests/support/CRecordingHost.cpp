#include "support/CRecordingHost.h"

#include <gtest/gtest.h>
#include <sstream>

void CRecordingHost::SetStatusPane(EPane pane, const std::string& text) {
    (pane == EPane::Connection ? m_pane1 : m_pane2) = text;
    m_paneHistory.push_back((pane == EPane::Connection ? "1:" : "2:") + text);
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
