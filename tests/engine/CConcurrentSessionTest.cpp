#include "engine/CConcurrentSession.h"

#include "settings/CSettingsStore.h"
#include "engine/CTestSession.h"
#include "support/CLoopbackServer.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <QSignalSpy>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

std::atomic<int> g_lookups{0};

// "slow.example" answers after the 1-second time-out.
bool CountingResolve(const std::string& host, in_addr* address) {
    ++g_lookups;
    if (host == "slow.example")
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    return host == "ok.example" && ::inet_aton("127.0.0.2", address) != 0;
}

template <class TSession> bool RunToEnd(TSession& session, int ms = 30000) {
    QSignalSpy finished(&session, &TSession::TestFinished);
    return finished.wait(ms);
}

std::string Link(const std::string& url) {
    return "<a href=\"" + url + "\">" + url.substr(7) + "</a>\n";
}

TEST(ConcurrentSessionTest, SameRowsAndLogAsThePacedTestInTestOrder) {
    CTempDir dir;
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    ASSERT_TRUE(settings.SetInt("Settings", "Timeout", 1));
    ASSERT_TRUE(settings.SetString("Settings", "Filter", "111111111111111111111"));
    CLoopbackServer::SScript script{true, {{50, "HTTP/1.0 200 OK\r\n"}}, false, false, true};
    CLoopbackServer ok("127.0.0.1", 0, script);
    const int port = ok.Port();
    auto slow = CLoopbackServer::Trickle("HTTP/1.0 404 No\r\n", 40); // done last
    slow.bConcurrent = true;
    CLoopbackServer gone("127.0.0.2", port, slow);
    CLoopbackServer closing("127.0.0.4", port, CLoopbackServer::CloseAtOnce());
    CLoopbackServer silent("127.0.0.5", port, CLoopbackServer::Silent());
    // 127.0.0.3 refuses; nowhere.example is not known, slow.example too slow.
    WriteFile(dir / "site/a.htm", Link("http://127.0.0.2/slow") + Link("http://127.0.0.3/") +
                                      Link("http://127.0.0.4/") + Link("http://ok.example/x") +
                                      Link("http://nowhere.example/") +
                                      Link("http://slow.example/"));
    std::string many;
    for (int i = 0; i < 12; ++i)
        many += Link("http://127.0.0.1/" + std::to_string(i % 6));
    WriteFile(dir / "site/b.htm", many + Link("http://127.0.0.5/") + Link("http://127.0.0.2/slow") +
                                      Link("http://slow.example/2"));
    WriteFile(dir / "site/c.htm", "no links");

    CRecordingHost paced;
    CTestSession pacedSession(paced, settings, nullptr, CountingResolve);
    pacedSession.SetPorts(port, port);
    pacedSession.StartTest(dir / "site", false, true, false);
    ASSERT_TRUE(RunToEnd(pacedSession));
    ASSERT_EQ(paced.m_rows.size(), 21u);
    EXPECT_EQ(paced.m_rows[0].reason, "HTTP Code 404 Not Found");

    const std::size_t okAsked = ok.Requests().size(), goneAsked = gone.Requests().size();
    g_lookups = 0;
    CRecordingHost host;
    CConcurrentSession session(host, settings, 64, 3, nullptr, CountingResolve);
    session.SetPorts(port, port);
    session.StartTest(dir / "site", false, true, false);
    ASSERT_TRUE(RunToEnd(session));
    EXPECT_EQ(host.m_rows, paced.m_rows);
    EXPECT_EQ(host.LogWithoutDates(), paced.LogWithoutDates());
    // Each URL once, each name looked up once, never more than 3 connections to a host.
    EXPECT_EQ(ok.Requests().size() - okAsked, 6u);
    EXPECT_EQ(gone.Requests().size() - goneAsked, 2u); // /slow and ok.example/x
    EXPECT_EQ(g_lookups, 3);
    EXPECT_LE(ok.MostAtOnce(), 3);
    EXPECT_GT(ok.MostAtOnce(), 1);
}

TEST(ConcurrentSessionTest, StopListsNothingMoreAndClosesEveryConnection) {
    CTempDir dir;
    CSettingsStore settings;
    ASSERT_TRUE(settings.OpenBaseKey(nullptr));
    auto script = CLoopbackServer::Silent();
    script.bConcurrent = true;
    CLoopbackServer silent("127.0.0.5", 0, script);
    CLoopbackServer ok("127.0.0.1", silent.Port(), CLoopbackServer::Reply("HTTP/1.0 404 No\r\n"));
    WriteFile(dir / "a.htm", Link("http://127.0.0.1/") + Link("http://127.0.0.5/1") +
                                 Link("http://127.0.0.5/2") + Link("http://127.0.0.1/later"));
    CRecordingHost host;
    CConcurrentSession session(host, settings, 8, 8);
    session.SetPorts(silent.Port(), silent.Port());
    session.StartTest(dir / "a.htm", false, false, false);
    // Both 404s are in, and only the first may be listed.
    ASSERT_TRUE(RunUntil([&] { return silent.Open() == 2 && ok.Closed() == 2; }));
    RunUntil([&] { return !host.m_rows.empty(); }, 2000);
    session.OnStopTest();
    EXPECT_TRUE(RunUntil([&] { return silent.Open() == 0; }));
    EXPECT_EQ(host.m_rows.size(), 1u); // the later 404 waits behind the silent links
    EXPECT_TRUE(host.m_log.ends_with("\r\nTesting Stopped by User\r\n"));
}

} // namespace
