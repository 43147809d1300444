// SPDX-License-Identifier: GPL-3.0-or-later
// The paced and the concurrent session on their common base: what the base
// does is tested on both, and the concurrent one must list exactly what the
// paced one lists.
#include "engine/CSessionBase.h"

#include "engine/LogText.h"
#include "support/SessionTest.h"

namespace {

class ConcurrentSessionTest : public SessionTest {};

class BothSessionsTest : public SessionTest, public ::testing::WithParamInterface<EKind> {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        m_pSession = Make(GetParam(), m_host, 0);
    }
};

TEST_P(BothSessionsTest, NoFilesOrAnUnreadableFileEndTheTestWithAMessage) {
    MakeDir(m_dir / "empty");
    m_host.m_log = "kept";
    m_pSession->StartTest(m_dir / "empty", false, true, true);
    EXPECT_EQ(m_host.m_messages, Texts{LogText::kNoFilesMessage});
    EXPECT_EQ(m_host.m_log, "kept");
    EXPECT_FALSE(m_pSession->IsTestRunning() || m_pSession->IsTestEnded());
    EXPECT_EQ(m_host.m_progressShown, 0);

    m_host.m_messages.clear();
    const std::string page = m_dir / "gone.htm";
    WriteFile(page, "x");
    m_pSession->StartTest(page, false, false, false);
    ::unlink(page.c_str());
    ASSERT_TRUE(RunToEnd(*m_pSession));
    EXPECT_EQ(m_host.m_messages,
              (Texts{"Error: Cannot open file:\n\n" + page, "Processing has stopped"}));
    EXPECT_EQ(m_host.LogWithoutDates(), "Start of test <date>\r\n\r\nResults for " + page +
                                            ": URLs tested: 0. URL errors: 0.\r\n\r\n"
                                            "End of test: <date>\r\n");
    EXPECT_TRUE(m_pSession->StoppedOnError() && m_pSession->IsTestEnded());

    // The next test starts with both marks cleared.
    WriteFile(page, "x");
    m_pSession->StartTest(page, false, false, false);
    EXPECT_FALSE(m_pSession->StoppedOnError() || m_pSession->IsTestEnded());
    EXPECT_TRUE(RunToEnd(*m_pSession));
}

TEST_P(BothSessionsTest, StopEndsTheLinksInFlightWithoutARowAndClosesTheirConnections) {
    Server gone("127.0.0.1", 0, Server::Reply("HTTP/1.0 404 No\r\n"));
    Server silent("127.0.0.5", gone.Port(), {.bHoldOpen = true, .bConcurrent = true});
    m_pSession->SetPorts(gone.Port(), gone.Port());
    m_pSession->Reasons().SetTimeoutSeconds(30);
    const std::string page = m_dir / "a.htm";
    auto stopAndCheck = [&](std::size_t rows) {
        m_pSession->OnStopTest();
        EXPECT_EQ(m_host.LogWithoutDates(), "Start of test <date>\r\n\r\nTesting: " + page +
                                                "\r\nTesting Stopped by User\r\n");
        EXPECT_EQ(Texts(m_host.m_panes.end() - 2, m_host.m_panes.end()),
                  (Texts{"1:Connection Status", "2:HTTP Method Status"}));
        EXPECT_EQ(m_host.m_waitCursorDepth, 0);
        const std::string log = m_host.m_log; // and nothing happens afterwards
        QTest::qWait(1300);
        EXPECT_EQ(m_host.m_log, log);
        EXPECT_EQ(m_host.m_rows.size(), rows);
    };

    // While the name is still being looked up: the event loop keeps turning.
    WriteFile(page, Links({"http://slow.example/"}));
    m_pSession->StartTest(page, false, false, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return g_lookups == 1; }));
    stopAndCheck(0);

    // While waiting for replies: each host sees its connection close. The
    // concurrent test has the later 404 too, and it waits behind the silent links.
    WriteFile(page, Links({"http://127.0.0.1/", "http://127.0.0.5/1", "http://127.0.0.5/2",
                           "http://127.0.0.1/later"}));
    m_pSession->StartTest(page, false, false, false);
    const int inFlight = GetParam() == EKind::Paced ? 1 : 2;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::ssize(silent.Requests()) == inFlight && gone.Closed() == inFlight &&
               !m_host.m_rows.empty();
    }));
    stopAndCheck(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.Open() == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Sessions, BothSessionsTest,
                         ::testing::Values(EKind::Paced, EKind::Concurrent), [](const auto& kind) {
                             return kind.param == EKind::Paced ? "Paced" : "Concurrent";
                         });

TEST_F(ConcurrentSessionTest, SameRowsAndLogAsThePacedTestInTestOrder) {
    ASSERT_TRUE(m_settings.SetString("Settings", "Filter", "111111111111111111111"));
    Server ok("127.0.0.1", 0, {true, {{50, "HTTP/1.0 200 OK\r\n"}}, false, false, true});
    const int port = ok.Port();
    Server notFound("127.0.0.2", port, Server::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    Server unknown("127.0.0.4", port, Server::Reply("\n\nHTTP/1.0 405 Nope\r\n"));
    Server closes("127.0.0.6", port, Server::CloseAtOnce());
    Server greets("127.0.0.8", port, Server::Greeting("220 ready")); // no line end
    Server silent("127.0.0.9", port, Server::Silent());
    auto slowly = Server::Trickle("HTTP/1.0 404 No\r\n", 40); // done last
    slowly.bConcurrent = true;
    Server gone("127.0.0.12", port, slowly);
    Server splits("127.0.0.13", port,
                  {true, {{0, "HTTP/1.0 40"}, {300, "4 Not Found\r\n"}}, false, false});
    Server floods("127.0.0.14", port, {true, {{0, "HTTP/1.0 503 Busy\r\n"}}, true, false});
    Server crawls("127.0.0.16", port, Server::Trickle("HTTP/1.0 404 Not Found\r\n", 400));
    // 127.0.0.5 refuses; nowhere.example is not known, slow.example too slow.
    const std::string a = m_dir / "site/a.htm", b = m_dir / "site/b.htm";
    WriteFile(a,
              R"(<a href="http://127.0.0.1/ok">Ok</a><a href="http://127.0.0.2:8080/missing#frag">
Missing</a><a href="http://127.0.0.4/q?x=1">Unknown</a><a href="http://127.0.0.5/">Refused</a>
<a href="http://nowhere.example/">Nowhere</a><a href="http://127.0.0.6/">Closes</a>
<a href="ftp://127.0.0.8/pub">Files</a><a href="http://127.0.0.13/">Split</a>
<a href="http://127.0.0.14/">Endless</a><a href="http://127.0.0.16/">Crawl</a>
<a href="http://3com.example/digits">Digits</a>)");
    std::string many;
    for (int i = 0; i < 12; ++i)
        many += Links({"http://127.0.0.1/" + std::to_string(i % 6)});
    WriteFile(
        b, Links({"http://127.0.0.12/slow", "http://ok.example/x", "http://slow.example/"}) + many +
               Links({"http://127.0.0.9/", "http://127.0.0.12/slow", "http://slow.example/2"}));
    WriteFile(m_dir / "site/c.htm", "no links");

    CRecordingHost paced;
    auto pPaced = Make(EKind::Paced, paced, port);
    pPaced->StartTest(m_dir / "site", false, true, false);
    ASSERT_TRUE(RunToEnd(*pPaced));
    const std::string unknownText = "--------------> UNKNOWN REASON !!!!!";
    // Each row knows the line and byte its link starts at.
    const std::vector<SResultRow> hostile = {
        {"http://127.0.0.1/ok", "HTTP Code 200 OK", "Ok", a, 0, 1, 10},
        {"http://127.0.0.2:8080/missing#frag", "HTTP Code 404 Not Found", "Missing", a, 0, 1, 46},
        {"http://127.0.0.4/q?x=1", unknownText, "Unknown", a, 0, 2, 21},
        {"http://127.0.0.5/", "Can't Connect to Host", "Refused", a, 0, 2, 65},
        {"http://nowhere.example/", "Can't Find Named Host", "Nowhere", a, 0, 3, 10},
        {"http://127.0.0.6/", "Host Took Too Long to Respond", "Closes", a, 0, 3, 55},
        // A reply to an ftp link is never listed.
        {"http://127.0.0.13/", "HTTP Code 404 Not Found", "Split", a, 0, 4, 49},
        {"http://127.0.0.14/", "HTTP Code 503 Service Unavailable", "Endless", a, 0, 5, 10},
        {"http://127.0.0.16/", "Host Took Too Long to Respond", "Crawl", a, 0, 5, 50},
        {"http://3com.example/digits", "HTTP Code 404 Not Found", "Digits", a, 0, 6, 10}};
    ASSERT_EQ(paced.m_rows.size(), hostile.size() + 18);
    std::vector<SResultRow> first(paced.m_rows.begin(), paced.m_rows.begin() + 10);
    for (SResultRow& row : first)
        row.code = 0; // the reason says it
    EXPECT_EQ(first, hostile);
    std::string log = "Start of test <date>\r\n\r\n";
    for (const auto& [file, counts] : {std::pair{a, "11. URL errors: 10"},
                                       {b, "18. URL errors: 18"},
                                       {m_dir / "site/c.htm", "0. URL errors: 0"}})
        log += "Testing: " + file + "\r\nResults for " + file + ": URLs tested: " + counts +
               ".\r\n\r\n";
    EXPECT_EQ(paced.LogWithoutDates(), log + "End of test: <date>\r\n");
    EXPECT_EQ(paced.m_beeps,
              (std::vector<ISessionHost::EBeepKind>{ISessionHost::EBeepKind::Warning,
                                                    ISessionHost::EBeepKind::Default}));
    EXPECT_TRUE(pPaced->HasUnknownReason() && pPaced->IsTestEnded());
    EXPECT_TRUE(paced.m_messages.empty());
    EXPECT_EQ(paced.m_waitCursorDepth, 0);
    // The first file does not step the file bar, each later one does once.
    EXPECT_EQ(paced.m_progress.fileBarPos, 2);
    EXPECT_EQ(paced.m_progress.fileIndex, "3");
    EXPECT_EQ(paced.m_progressClosed, 1);
    // The request is exactly one line and the empty line: port and fragment gone.
    EXPECT_EQ(notFound.Requests(), Texts{"GET /missing HTTP/1.0\r\n\r\n"});
    EXPECT_EQ(unknown.Requests(), Texts{"GET /q?x=1 HTTP/1.0\r\n\r\n"});
    EXPECT_EQ(greets.Requests(), Texts{""}); // ftp: nothing is asked
    // A name that begins with a digit is looked up, not taken for an address.
    EXPECT_EQ(gone.Requests().at(0), "GET /digits HTTP/1.0\r\n\r\n");

    const std::size_t okAsked = ok.Requests().size(), goneAsked = gone.Requests().size();
    g_lookups = 0;
    CRecordingHost host;
    auto pConcurrent = Make(EKind::Concurrent, host, port, 64);
    pConcurrent->StartTest(m_dir / "site", false, true, false);
    ASSERT_TRUE(RunToEnd(*pConcurrent));
    EXPECT_EQ(host.m_rows, paced.m_rows);
    EXPECT_EQ(host.LogWithoutDates(), paced.LogWithoutDates());
    EXPECT_EQ(host.m_beeps, paced.m_beeps);
    // The progress window's last counts, just before it closes: every link.
    EXPECT_EQ(host.m_progress.summary, "29 of 29 links checked, 0 in flight");
    EXPECT_EQ(host.m_progress.urlBarPos, host.m_progress.urlBarMax);
    EXPECT_EQ(host.m_progress.fileIndex + " of " + host.m_progress.fileTotal, "3 of 3");
    EXPECT_EQ(host.m_progressShown, 1);
    EXPECT_EQ(host.m_progressClosed, 1);
    // Each URL once, each name looked up once, never more than 3 connections to a host.
    EXPECT_EQ(ok.Requests().size() - okAsked, 7u);
    EXPECT_EQ(gone.Requests().size() - goneAsked, 3u); // /digits, /slow and ok.example/x
    EXPECT_EQ(g_lookups, 4);
    EXPECT_LE(ok.MostAtOnce(), 3);
    EXPECT_GT(ok.MostAtOnce(), 1);

    // The next test starts with the unknown reason forgotten.
    pPaced->StartTest(a, false, false, false);
    EXPECT_FALSE(pPaced->HasUnknownReason() || pPaced->IsTestEnded());
    pPaced->OnStopTest();
}

TEST_F(ConcurrentSessionTest,
       RepeatsReadLongAfterTheFirstAndNamesThatFoundNoDescriptorKeepTheirOutcome) {
    // Two pages of 1 103 links each, more than 4 jobs read ahead: the second page
    // is read once the first one's first links are listed, so its repeats are
    // known only by the hash of what was listed. The filler names are not known
    // and their reason is not listed.
    ASSERT_TRUE(m_settings.SetString("Settings", "Filter", "111111111111111110111"));
    Server gone("127.0.0.12", 0, Server::Reply("HTTP/1.0 404 Not Found\r\n"));
    Server silent("127.0.0.9", gone.Port(), Server::Silent());
    std::string page =
        Links({"http://127.0.0.9/", "http://crowded.example/", "http://127.0.0.12/x"});
    for (int i = 0; i < 1100; ++i)
        page += Links({"http://nowhere.example/" + std::to_string(i)});
    WriteFile(m_dir / "site/a.htm", page);
    WriteFile(m_dir / "site/b.htm", page);
    m_pSession = Make(EKind::Concurrent, m_host, gone.Port(), 4);
    m_pSession->StartTest(m_dir / "site", false, true, false);
    ASSERT_TRUE(RunToEnd(*m_pSession));
    const Texts each = {"http://127.0.0.9/ | Host Took Too Long to Respond",
                        "http://crowded.example/ | HTTP Code 404 Not Found",
                        "http://127.0.0.12/x | HTTP Code 404 Not Found"};
    EXPECT_EQ(RowsOf(m_host), (Texts{each[0], each[1], each[2], each[0], each[1], each[2]}));
    EXPECT_EQ(silent.Requests().size(), 1u);
    EXPECT_EQ(gone.Requests().size(), 2u);
    // No descriptor for its first look-up while the silent link held one: the
    // name was looked up again, not listed as unknown.
    EXPECT_EQ(g_crowdedLookups, 2);
}

} // namespace
