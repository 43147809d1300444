#include "engine/CReasonFilter.h"

#include "TestUtil.h"
#include "app/CSettingsStore.h"
#include "engine/ISessionHost.h"

#include <climits>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

class CRecordingHost : public ISessionHost {
public:
    void ShowMessage(const std::string& text) override { m_messages.push_back(text); }
    void Beep(BeepKind kind) override { m_beeps.push_back(kind); }

    std::vector<std::string> m_messages;
    std::vector<BeepKind> m_beeps;
};

class ReasonFilterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.OpenBaseKey(nullptr)); }

    CTempDir m_dir;
    CSettingsStore m_settings;
    CRecordingHost m_host;
    CReasonFilter m_filter{m_host};
};

TEST_F(ReasonFilterTest, TheTableHoldsTwentyOneDistinctOutcomesInFilterOrder) {
    const auto& table = CReasonFilter::ReasonTable();
    std::set<unsigned> codes;
    for (const SReason& reason : table)
        codes.insert(reason.code);
    EXPECT_EQ(codes.size(), 21u);
    EXPECT_EQ(CReasonFilter::ReasonIndex(200), 0);
    EXPECT_EQ(CReasonFilter::ReasonIndex(404), 10);
    EXPECT_EQ(CReasonFilter::ReasonIndex(503), 14);
    EXPECT_EQ(CReasonFilter::ReasonIndex(10000), 15);
    EXPECT_EQ(CReasonFilter::ReasonIndex(10005), 20);
    for (unsigned unknown : {0u, 203u, 303u, 307u, 405u, 9999u, 10006u, UINT_MAX})
        EXPECT_EQ(CReasonFilter::ReasonIndex(unknown), -1) << unknown;
    EXPECT_EQ(m_filter.ReasonText(302), "HTTP Code 302 Moved Temporarily");
    EXPECT_EQ(m_filter.ReasonText(10002), "Can't Find Named Host");
    EXPECT_TRUE(m_host.m_beeps.empty());
    EXPECT_FALSE(m_filter.m_bUnknownReason);
}

TEST_F(ReasonFilterTest, DefaultFilterListsEverythingButOk) {
    m_filter.Load(m_settings);
    EXPECT_EQ(m_filter.Filter(), "011111111111111111111");
    EXPECT_FALSE(m_filter.IsReasonReported(200));
    EXPECT_TRUE(m_filter.IsReasonReported(404));
    EXPECT_EQ(m_filter.ReasonText(404), "HTTP Code 404 Not Found");
    EXPECT_TRUE(m_filter.IsReasonReported(10005));
    EXPECT_TRUE(m_host.m_messages.empty());
}

TEST_F(ReasonFilterTest, OneEyeShutListsOnlyTheClientErrorsAndUnknownHosts) {
    m_filter.SetFilter(std::string(CReasonFilter::kOneEyeShutFilter));
    std::set<unsigned> listed;
    for (const SReason& reason : CReasonFilter::ReasonTable())
        if (m_filter.IsReasonReported(reason.code))
            listed.insert(reason.code);
    EXPECT_EQ(listed, (std::set<unsigned>{400, 401, 403, 404, 10002}));
}

TEST_F(ReasonFilterTest, UnknownOutcomesAreAlwaysListedWithAWarning) {
    m_filter.SetFilter(std::string(21, '0'));
    EXPECT_TRUE(m_filter.IsReasonReported(405));
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
    EXPECT_TRUE(m_filter.IsReasonReported(200));
}

TEST_F(ReasonFilterTest, TimeoutIsUsedAsStored) {
    m_filter.Load(m_settings);
    EXPECT_EQ(m_filter.TimeoutSeconds(), 15);
    EXPECT_EQ(m_filter.TimeoutMs(), 15000);
    const std::pair<int, int> cases[] = {
        {0, 0}, {2, 2000}, {1000, 1000000}, {3000000, INT_MAX}, {-5, 0}};
    for (const auto& [seconds, ms] : cases) {
        ASSERT_TRUE(m_settings.SetInt("Settings", "Timeout", seconds));
        m_filter.Load(m_settings);
        EXPECT_EQ(m_filter.TimeoutSeconds(), seconds);
        EXPECT_EQ(m_filter.TimeoutMs(), ms) << seconds;
    }
}

} // namespace
