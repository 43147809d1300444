// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CUrlExclusions.h"

#include <gtest/gtest.h>

namespace {

// Which links a pattern skips and what the summary says is the command line's suite.
TEST(UrlExclusionsTest, PatternsMatchBytesInLinearTimeAndABadOneIsNamedWhileTheOthersHold) {
    CUrlExclusions skip;
    EXPECT_FALSE(skip.Matches("http://a/")); // none yet
    EXPECT_EQ(skip.SetPatterns({"^ftp:", "(?i)\\.PDF$", "caf.\\.htm", "a(b"}),
              "invalid pattern: a(b (missing ): a(b)");
    for (const char* url : {"ftp://h/", "http://h/A.pdf", "http://h/caf\xe9.htm"})
        EXPECT_TRUE(skip.Matches(url)) << url; // '.' is one byte, not valid UTF-8
    for (const char* url : {"http://h/ftp:/", "http://h/a.pdf?x", "http://h/caf\xc3\xa9.htm"})
        EXPECT_FALSE(skip.Matches(url)) << url;
    // A pattern that takes a backtracking engine exponential time, over a long URL.
    ASSERT_EQ(skip.SetPatterns({"^(a|a)*(a|a)*b$"}), "");
    EXPECT_FALSE(skip.Matches("http://h/" + std::string(1 << 20, 'a')));
    EXPECT_EQ(CUrlExclusions::SplitLines(" a b \n \t\nlast"),
              (std::vector<std::string>{"a b", "last"}));
}

} // namespace
