// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CReasonFilter.h"

#include "support/SessionTest.h"

#include <climits>
#include <set>

namespace {

// The filter as a session holds it: on the sessions' settings and host.
class ReasonFilterTest : public SessionTest {
protected:
    std::set<unsigned> Listed() const {
        std::set<unsigned> listed;
        for (const SReason& reason : CReasonFilter::ReasonTable())
            if (m_filter.IsReasonReported(reason.code))
                listed.insert(reason.code);
        return listed;
    }

    CReasonFilter m_filter{m_host};
};

TEST_F(ReasonFilterTest, FilterFollowsTheTableOrderAndOutcomesOutsideItAreAlwaysListed) {
    m_filter.SetFilter("010101010101010101010"); // stored filters index the table
    EXPECT_EQ(Listed(),
              (std::set<unsigned>{201, 204, 302, 400, 403, 500, 502, 10000, 10002, 10004}));

    m_filter.SetFilter(std::string(21, '0'));
    for (unsigned code : {0u, 203u, 405u, 10006u, 10007u, UINT_MAX})
        EXPECT_TRUE(m_filter.IsReasonReported(code)) << code;
    // The current-web outcomes have texts of their own and are never the unknown reason.
    EXPECT_EQ(m_filter.ReasonText(10006), "Secure Connection Failed");
    EXPECT_FALSE(m_filter.HasUnknownReason());
}

TEST_F(ReasonFilterTest, LoadReplacesAFilterOfTheWrongLengthAfterAWarningAndBoundsTheTimeout) {
    for (const std::string stored : {"0101", "0111111111111111111111", ""}) {
        ASSERT_TRUE(m_settings.SetString("Settings", "Filter", stored));
        m_filter.Load(m_settings);
        EXPECT_EQ(m_filter.Filter(), "011111111111111111111");
        EXPECT_EQ(m_settings.GetString("Settings", "Filter", ""), "011111111111111111111");
    }
    // Only the length is checked: 21 letters x list everything.
    ASSERT_TRUE(m_settings.SetString("Settings", "Filter", std::string(21, 'x')));
    m_filter.Load(m_settings);
    EXPECT_EQ(m_host.m_messages, Texts(3, "Setting Filter Codes to Safe Default"));
    EXPECT_EQ(Listed().size(), 21u);

    const std::pair<int, int> timeouts[] = {{0, 0}, {2, 2000}, {3000000, INT_MAX}, {-5, 0}};
    for (const auto& [seconds, ms] : timeouts) {
        ASSERT_TRUE(m_settings.SetInt("Settings", "Timeout", seconds));
        m_filter.Load(m_settings);
        EXPECT_EQ(m_filter.TimeoutMs(), ms) << seconds;
    }
}

} // namespace
