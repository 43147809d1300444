// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CUrlExclusions.h"

#include "base/AsciiText.h"

#include <algorithm>
#include <re2/re2.h>
#include <re2/set.h>

// Wraps RE2's set so that its header stays out of the session's.
class CUrlExclusions::CSet {
public:
    static RE2::Options Options() {
        RE2::Options options;
        options.set_encoding(RE2::Options::EncodingLatin1); // bytes, as URLs are
        options.set_log_errors(false);                      // an error is the caller's to report
        return options;
    }

    CSet() : m_set(Options(), RE2::UNANCHORED) {}

    RE2::Set m_set;
};

CUrlExclusions::CUrlExclusions() = default;
CUrlExclusions::~CUrlExclusions() = default;
CUrlExclusions::CUrlExclusions(CUrlExclusions&&) noexcept = default;
CUrlExclusions& CUrlExclusions::operator=(CUrlExclusions&&) noexcept = default;

std::string CUrlExclusions::SetPatterns(const std::vector<std::string>& patterns) {
    m_pSet = std::make_unique<CSet>();
    m_nCount = 0;
    std::string problem;
    for (const std::string& pattern : patterns) {
        std::string error;
        if (m_pSet->m_set.Add(pattern, &error) >= 0)
            ++m_nCount;
        else if (problem.empty())
            problem = "invalid pattern: " + pattern + " (" + error + ")";
    }
    // Compiling fails only when the patterns need more memory than RE2 allows.
    if (m_nCount > 0 && !m_pSet->m_set.Compile()) {
        m_nCount = 0;
        problem = "too many or too large patterns";
    }
    return problem;
}

bool CUrlExclusions::Matches(std::string_view url) const {
    return m_nCount > 0 && m_pSet->m_set.Match(re2::StringPiece(url.data(), url.size()), nullptr);
}

std::vector<std::string> CUrlExclusions::SplitLines(std::string_view text) {
    std::vector<std::string> patterns;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line =
            AsciiText::Trim(text.substr(0, end), AsciiText::ESpace::CSpace);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.front() != '#')
            patterns.emplace_back(line);
    }
    return patterns;
}
