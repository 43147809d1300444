// SPDX-License-Identifier: GPL-3.0-or-later
#include "repair/CUnifiedDiff.h"

#include <gtest/gtest.h>
#include <map>

namespace {

// The diff of the lines "1\n" to "N" (the last without a line end) where
// `changes` put other bytes in place of some.
std::string DiffOf(int lines, const std::map<int, std::string>& changes) {
    std::string diff;
    CUnifiedDiff builder("p", [&diff](std::string_view bytes) { diff.append(bytes); });
    for (int n = 1; n <= lines; ++n) {
        const std::string line = std::to_string(n) + (n < lines ? "\n" : "");
        builder.AddLine(line, changes.contains(n) ? changes.at(n) : line);
    }
    builder.Finish();
    return diff;
}

// (That patch and git apply turn a page into the repaired page by its diff is
// the repair's suite, and how names are written the CLI suite's.)
TEST(UnifiedDiffTest, HunksCountContextMergeAndMarkALastLineWithoutLineEnd) {
    const std::string header = "--- a/p\n+++ b/p\n", noEnd = "\\ No newline at end of file\n";
    EXPECT_EQ(DiffOf(3, {}), "");
    EXPECT_EQ(DiffOf(1, {{1, ""}}), header + "@@ -1 +0,0 @@\n-1\n" + noEnd);
    // Six kept lines between two changes: one hunk; seven: two.
    EXPECT_EQ(DiffOf(9, {{1, "x\n"}, {8, ""}}),
              header + "@@ -1,9 +1,8 @@\n-1\n+x\n 2\n 3\n 4\n 5\n 6\n 7\n-8\n 9\n" + noEnd);
    EXPECT_EQ(DiffOf(12, {{1, ""}, {9, ""}, {10, "y\r\n"}}),
              header + "@@ -1,4 +1,3 @@\n-1\n 2\n 3\n 4\n@@ -6,7 +5,6 @@\n 6\n 7\n 8\n-9\n-10\n" +
                  "+y\r\n 11\n 12\n" + noEnd);
}

} // namespace
