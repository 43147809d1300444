#include "repair/CUnifiedDiff.h"

#include <gtest/gtest.h>

namespace {

// (That patch and git apply turn a page into the repaired page by its diff is the repair's suite.)
TEST(UnifiedDiffTest, HunksCountContextMergeAndMarkALastLineWithoutLineEnd) {
    const std::string header = "--- a/p\n+++ b/p\n", noEnd = "\\ No newline at end of file\n";
    const struct {
        const char* name;
        int lines;                                        // "1\n" to "N\n", the last without "\n"
        std::vector<std::pair<int, std::string>> changes; // a line and what takes its place
        std::string expected;
    } cases[] = {
        {"unchanged", 3, {}, ""},
        {"the only line removed", 1, {{1, ""}}, header + "@@ -1 +0,0 @@\n-1\n" + noEnd},
        {"the first line removed", 5, {{1, ""}}, header + "@@ -1,4 +1,3 @@\n-1\n 2\n 3\n 4\n"},
        {"the last line given a line end",
         5,
         {{5, "5\r\n"}},
         header + "@@ -2,4 +2,4 @@\n 2\n 3\n 4\n-5\n" + noEnd + "+5\r\n"},
        {"a kept last line, two lines for one",
         4,
         {{2, "a\nb\n"}},
         header + "@@ -1,4 +1,5 @@\n 1\n-2\n+a\n+b\n 3\n 4\n" + noEnd},
        // Six kept lines between two changes: one hunk; seven: two.
        {"contexts meet",
         9,
         {{1, "x\n"}, {8, ""}},
         header + "@@ -1,9 +1,8 @@\n-1\n+x\n 2\n 3\n 4\n 5\n 6\n 7\n-8\n 9\n" + noEnd},
        {"contexts apart",
         12,
         {{1, ""}, {9, ""}, {10, "y\r\n"}},
         header +
             "@@ -1,4 +1,3 @@\n-1\n 2\n 3\n 4\n@@ -6,7 +5,6 @@\n 6\n 7\n 8\n-9\n-10\n+y\r\n"
             " 11\n 12\n" +
             noEnd},
    };
    for (const auto& c : cases) {
        std::string diff;
        CUnifiedDiff builder("p", [&diff](std::string_view bytes) { diff.append(bytes); });
        for (int n = 1; n <= c.lines; ++n) {
            const std::string line = std::to_string(n) + (n < c.lines ? "\n" : "");
            std::string now = line;
            for (const auto& [at, text] : c.changes)
                if (at == n)
                    now = text;
            builder.AddLine(line, now);
        }
        builder.Finish();
        EXPECT_EQ(diff, c.expected) << c.name;
    }
}

TEST(UnifiedDiffTest, NamesArePlainOrQuotedAsGitQuotesThem) {
    EXPECT_EQ(CUnifiedDiff::HeaderName("a/", "site/caf\xe9.html"), "a/site/caf\xe9.html");
    EXPECT_EQ(CUnifiedDiff::HeaderName("b/", "my page.html"), "b/my page.html\t");
    EXPECT_EQ(CUnifiedDiff::HeaderName("a/", "t\ta\"b\\c\x01\x7f\n.htm"),
              "\"a/t\\ta\\\"b\\\\c\\001\\177\\n.htm\"");
}

} // namespace
