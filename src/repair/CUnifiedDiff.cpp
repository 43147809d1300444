// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/CUnifiedDiff.h"

#include <algorithm>

namespace {

constexpr std::string_view kNoNewline = "\\ No newline at end of file\n";

// A hunk side's range: "start,count", "start" for one line, and for none the
// line before it.
std::string Range(long start, long count) {
    if (count == 1)
        return std::to_string(start);
    return std::to_string(count == 0 ? start - 1 : start) + "," + std::to_string(count);
}

bool NeedsQuotes(std::string_view name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\\')
            return true;
    }
    return false;
}

} // namespace

CUnifiedDiff::CUnifiedDiff(std::string name, FnSink sink)
    : m_strName(std::move(name)), m_sink(std::move(sink)) {
}

std::string CUnifiedDiff::HeaderName(std::string_view prefix, std::string_view name) {
    std::string text(prefix);
    if (!NeedsQuotes(name)) {
        text.append(name);
    } else {
        text.insert(0, 1, '"');
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            static constexpr std::string_view kNamed = "abtnvfr"; // bytes 7 to 13
            if (c == '"' || c == '\\') {
                text.append(1, '\\').append(1, c);
            } else if (byte >= 7 && byte <= 13) {
                text.append(1, '\\').append(1, kNamed[byte - 7]);
            } else if (byte < 0x20 || byte == 0x7f) {
                const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)),
                                      static_cast<char>('0' + ((byte >> 3) & 7)),
                                      static_cast<char>('0' + (byte & 7))};
                text.append(octal, sizeof octal);
            } else {
                text.append(1, c);
            }
        }
        text.append(1, '"');
    }
    if (name.find(' ') != std::string_view::npos)
        text.append(1, '\t');
    return text;
}

void CUnifiedDiff::Append(std::string& to, char mark, std::string_view line) {
    to.append(1, mark).append(line);
    if (line.empty() || line.back() != '\n')
        to.append(1, '\n').append(kNoNewline);
}

void CUnifiedDiff::AddLine(std::string_view oldLine, std::string_view newText) {
    if (newText == oldLine)
        AddKept(oldLine);
    else
        AddChange(oldLine, newText);
}

void CUnifiedDiff::AddKept(std::string_view line) {
    ++m_nOldLines;
    ++m_nNewLines;
    if (!m_bInHunk) {
        m_before.emplace_back(line);
        if (m_before.size() > kContext)
            m_before.pop_front();
        return;
    }
    CloseChange();
    m_after.emplace_back(line);
    // A gap wider than both contexts ends the hunk; its last lines lead the next.
    if (m_after.size() > 2 * kContext) {
        WriteHunk(kContext);
        m_before.assign(m_after.end() - kContext, m_after.end());
        m_after.clear();
    }
}

void CUnifiedDiff::AddChange(std::string_view oldLine, std::string_view newText) {
    if (!m_bInHunk)
        OpenHunk();
    for (const std::string& line : m_after)
        Append(m_strHunk, ' ', line);
    m_nOldCount += static_cast<long>(m_after.size());
    m_nNewCount += static_cast<long>(m_after.size());
    m_after.clear();
    Append(m_strRemoved, '-', oldLine);
    ++m_nOldCount;
    ++m_nOldLines;
    while (!newText.empty()) {
        const std::size_t end = newText.find('\n');
        const std::size_t size = end == std::string_view::npos ? newText.size() : end + 1;
        Append(m_strAdded, '+', newText.substr(0, size));
        newText.remove_prefix(size);
        ++m_nNewCount;
        ++m_nNewLines;
    }
}

void CUnifiedDiff::OpenHunk() {
    m_bInHunk = true;
    const auto context = static_cast<long>(m_before.size());
    m_nOldStart = m_nOldLines - context + 1;
    m_nNewStart = m_nNewLines - context + 1;
    m_nOldCount = m_nNewCount = context;
    for (const std::string& line : m_before)
        Append(m_strHunk, ' ', line);
    m_before.clear();
}

void CUnifiedDiff::CloseChange() {
    m_strHunk.append(m_strRemoved).append(m_strAdded);
    m_strRemoved.clear();
    m_strAdded.clear();
}

void CUnifiedDiff::WriteHunk(std::size_t trailing) {
    CloseChange();
    for (std::size_t i = 0; i < trailing && i < m_after.size(); ++i)
        Append(m_strHunk, ' ', m_after[i]);
    const auto context = static_cast<long>(std::min(trailing, m_after.size()));
    m_nOldCount += context;
    m_nNewCount += context;
    if (!m_bHeadersWritten) {
        m_bHeadersWritten = true;
        m_sink("--- " + HeaderName("a/", m_strName) + "\n+++ " + HeaderName("b/", m_strName) +
               "\n");
    }
    m_sink("@@ -" + Range(m_nOldStart, m_nOldCount) + " +" + Range(m_nNewStart, m_nNewCount) +
           " @@\n");
    m_sink(m_strHunk);
    m_strHunk.clear();
    m_bInHunk = false;
}

void CUnifiedDiff::Finish() {
    if (m_bInHunk)
        WriteHunk(kContext);
    m_after.clear();
    m_before.clear();
}
