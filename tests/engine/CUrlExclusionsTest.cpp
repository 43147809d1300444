#include "engine/CUrlExclusions.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlExclusionsTest, PatternsSearchTheUrlsBytesAndABadOneIsNamedButTheOthersHold) {
    CUrlExclusions skip;
    EXPECT_FALSE(skip.Matches("http://a/")); // none yet
    EXPECT_EQ(skip.SetPatterns({"/skip/", "^ftp:", "(?i)\\.PDF$", "caf.\\.htm", "a(b"}),
              "invalid pattern: a(b (missing ): a(b)");
    const struct {
        const char* url;
        bool bSkipped;
    } cases[] = {
        {"http://h/skip/1", true},
        {"http://h/a/skip/", true},
        {"http://h/skipped", false},
        {"http://h/ftp:/x", false},
        {"ftp://h/", true},
        {"http://h/A.pdf", true},
        {"http://h/a.pdf?x", false},
        {"http://h/caf\xe9.htm", true}, // one byte, not valid UTF-8
        {"http://h/caf\xc3\xa9.htm", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(skip.Matches(c.url), c.bSkipped) << c.url;
    // Time linear in the URL: a pattern that backtracking engines take
    // exponential time on ends at once over a long hostile URL.
    ASSERT_EQ(skip.SetPatterns({"^(a|a)*(a|a)*b$"}), "");
    EXPECT_FALSE(skip.Matches("http://h/" + std::string(1 << 20, 'a')));
    EXPECT_EQ(CUrlExclusions::SplitLines("# comment\r\n a b \r\n\r\n \t\n#x\nlast"),
              (std::vector<std::string>{"a b", "last"}));
}

} // namespace
