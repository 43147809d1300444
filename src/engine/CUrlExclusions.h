// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
} // namespace re2

/// The user's patterns of URLs a test skips: a link whose URL one of them
/// matches is neither probed nor listed.
///
/// The patterns are RE2 regular expressions, matched against the URL's bytes
/// (one byte is one character) anywhere in it unless anchored with ^ or $. RE2
/// takes time linear in the URL's length whatever the pattern, so a hostile page
/// cannot stall a test, and all patterns are tried in one pass over the URL.
class CUrlExclusions {
public:
    CUrlExclusions();
    ~CUrlExclusions();
    CUrlExclusions(CUrlExclusions&&) noexcept;
    CUrlExclusions& operator=(CUrlExclusions&&) noexcept;

    /// Takes `patterns` in place of the present ones, keeping each that compiles.
    /// Returns "" or what is wrong with the first that does not, naming it.
    std::string SetPatterns(const std::vector<std::string>& patterns);

    /// Whether there is no pattern to match.
    bool IsEmpty() const { return m_nCount == 0; }
    /// Whether some pattern matches `url`.
    bool Matches(std::string_view url) const;

    /// The patterns of a list of them, one a line (LF or CR LF), without the
    /// white space around each: blank lines and lines that begin with '#' are
    /// passed over.
    static std::vector<std::string> SplitLines(std::string_view text);

private:
    class CSet;
    std::unique_ptr<CSet> m_pSet;
    int m_nCount = 0;
};
