// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CUrlOutcomes.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(UrlOutcomesTest, EachOfManyUrlsFindsItsOwnOutcomeAndOnlyThat) {
    // Enough URLs that each of the tables grows several times; codes of all 32 bits.
    constexpr unsigned kCount = 100000;
    const auto url = [](unsigned k) { return "http://h/" + std::to_string(k); };
    const auto outcomeOf = [](unsigned k) {
        return CLinkLister::SOutcome{k * 2654435761u, k % 2 == 0, k % 3 == 0};
    };
    CUrlOutcomes outcomes;
    for (unsigned k = 0; k < kCount; ++k)
        outcomes.Insert(outcomes.KeyOf(url(k)), outcomeOf(k));
    outcomes.Insert(outcomes.KeyOf(url(7)), {404}); // the first outcome stays
    EXPECT_EQ(outcomes.Size(), kCount);
    for (unsigned k = 0; k < kCount; ++k) {
        const std::optional<CLinkLister::SOutcome> found = outcomes.Find(outcomes.KeyOf(url(k)));
        ASSERT_TRUE(found) << k;
        EXPECT_EQ(found->code, outcomeOf(k).code);
        EXPECT_EQ(found->bReplied, outcomeOf(k).bReplied);
        EXPECT_EQ(found->bRedirected, outcomeOf(k).bRedirected);
    }
    EXPECT_FALSE(outcomes.Find(outcomes.KeyOf(url(kCount))));
    EXPECT_FALSE(outcomes.Find(outcomes.KeyOf("")));
    outcomes.Clear();
    EXPECT_FALSE(outcomes.Find(outcomes.KeyOf(url(1))));
    EXPECT_EQ(outcomes.Size(), 0u);
}

} // namespace
