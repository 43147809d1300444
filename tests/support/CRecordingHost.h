// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ISessionHost.h"

#include <functional>
#include <sstream>
#include <string>
#include <vector>

/// Keeps everything a test session shows, for the tests to look at.
class CRecordingHost : public ISessionHost {
public:
    void ShowMessage(const std::string& text) override { m_messages.push_back(text); }
    bool AskYesNo(const std::string& question) override {
        m_messages.push_back(question);
        return true;
    }
    void Beep(EBeepKind kind) override { m_beeps.push_back(kind); }
    void AppendLog(const std::string& text) override { m_log += text + "\r\n"; }
    void ClearLogAndResults() override {
        m_log.clear();
        m_rows.clear();
    }
    void AddResultRow(const SResultRow& row) override { m_rows.push_back(row); }
    void SetStatusPane(EPane pane, const std::string& text) override {
        m_panes.push_back((pane == EPane::Connection ? "1:" : "2:") + text);
    }
    void ShowProgress() override { ++m_progressShown; }
    void UpdateProgress(const SProgressValues& values) override {
        if (m_onProgress)
            m_onProgress(values);
        m_progress = values;
    }
    void CloseProgress() override { ++m_progressClosed; }
    void SetActivityIndicator(int position) override { m_activity.push_back(position); }
    void BeginWaitCursor() override { ++m_waitCursorDepth; }
    void EndWaitCursor() override { --m_waitCursorDepth; }

    /// The log with the date and time of its start and end lines left out.
    std::string LogWithoutDates() const {
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

    std::function<void(const SProgressValues&)> m_onProgress; // sees each change first
    std::vector<std::string> m_messages;                      // and questions
    std::vector<EBeepKind> m_beeps;
    std::string m_log;
    std::vector<SResultRow> m_rows;
    std::vector<std::string> m_panes; // "1:text" and "2:text", in order
    SProgressValues m_progress;
    int m_progressShown = 0;
    int m_progressClosed = 0;
    std::vector<int> m_activity;
    int m_waitCursorDepth = 0;
};
