#include "engine/CReasonFilter.h"

#include "app/CSettingsStore.h"
#include "engine/ISessionHost.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <climits>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

class ReasonFilterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.OpenBaseKey(nullptr)); }

    std::set<unsigned> Listed() const {
        std::set<unsigned> listed;
        for (const SReason& reason : CReasonFilter::ReasonTable())
            if (m_filter.IsReasonReported(reason.code))
                listed.insert(reason.code);
        return listed;
    }

    CTempDir m_dir;
    CSettingsStore m_settings;
    CRecordingHost m_host;
    CReasonFilter m_filter{m_host};
};

TEST_F(ReasonFilterTest, FiltersPickFromTheTwentyOneKnownOutcomes) {
    m_filter.Load(m_settings);
    EXPECT_EQ(m_filter.Filter(), "011111111111111111111");
    EXPECT_EQ(Listed().size(), 20u); // 21 distinct codes, all but 200 listed
    EXPECT_FALSE(m_filter.IsReasonReported(200));
    EXPECT_EQ(m_filter.ReasonText(404), "HTTP Code 404 Not Found");
    EXPECT_EQ(m_filter.ReasonText(10005), "Host Took Too Long to Respond");

    m_filter.SetFilter(std::string(CReasonFilter::kOneEyeShutFilter));
    EXPECT_EQ(Listed(), (std::set<unsigned>{400, 401, 403, 404, 10002}));
    EXPECT_TRUE(m_host.m_beeps.empty());
    EXPECT_TRUE(m_host.m_messages.empty());
    EXPECT_FALSE(m_filter.m_bUnknownReason);
}

TEST_F(ReasonFilterTest, UnknownOutcomesAreAlwaysListedWithAWarning) {
    m_filter.SetFilter(std::string(21, '0'));
    for (unsigned code : {0u, 203u, 405u, 10006u, UINT_MAX})
        EXPECT_TRUE(m_filter.IsReasonReported(code)) << code;
    EXPECT_FALSE(m_filter.m_bUnknownReason);
    EXPECT_EQ(m_filter.ReasonText(405), "--------------> UNKNOWN REASON !!!!!");
    EXPECT_TRUE(m_filter.m_bUnknownReason);
    EXPECT_EQ(m_host.m_beeps, std::vector<ISessionHost::BeepKind>{ISessionHost::BeepKind::Warning});
}

TEST_F(ReasonFilterTest, StoredFilterOfTheWrongLengthIsReplacedAfterAWarning) {
    for (const std::string stored : {"0101", "0111111111111111111111", ""}) {
        m_host.m_messages.clear();
        ASSERT_TRUE(m_settings.SetString("Settings", "Filter", stored));
        m_filter.Load(m_settings);
        EXPECT_EQ(m_host.m_messages,
                  std::vector<std::string>{"Setting Filter Codes to Safe Default"});
        EXPECT_EQ(m_filter.Filter(), "011111111111111111111");
        EXPECT_EQ(m_settings.GetString("Settings", "Filter", ""), "011111111111111111111");
    }
    // Only the length is checked: 21 letters x list everything.
    m_host.m_messages.clear();
    ASSERT_TRUE(m_settings.SetString("Settings", "Filter", std::string(21, 'x')));
    m_filter.Load(m_settings);
    EXPECT_TRUE(m_host.m_messages.empty());
    EXPECT_EQ(Listed().size(), 21u);
}

TEST_F(ReasonFilterTest, TimeoutIsUsedAsStoredWithinTheTimersRange) {
    m_filter.Load(m_settings);
    EXPECT_EQ(m_filter.TimeoutMs(), 15000);
    const std::pair<int, int> cases[] = {{0, 0}, {2, 2000}, {3000000, INT_MAX}, {-5, 0}};
    for (const auto& [seconds, ms] : cases) {
        ASSERT_TRUE(m_settings.SetInt("Settings", "Timeout", seconds));
        m_filter.Load(m_settings);
        EXPECT_EQ(m_filter.TimeoutSeconds(), seconds);
        EXPECT_EQ(m_filter.TimeoutMs(), ms) << seconds;
    }
}

} // namespace
