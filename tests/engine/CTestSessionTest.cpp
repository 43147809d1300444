#include "engine/CTestSession.h"

#include "engine/CFileEnumerator.h"
#include "engine/LogText.h"
#include "settings/CSettingsStore.h"
#include "support/CLoopbackServer.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <thread>

namespace {

using Row = CRecordingHost::Row;

// Names the tests may look up; "slow.example" takes a second to answer.
bool FakeResolve(const std::string& host, in_addr* address) {
    static const std::map<std::string, std::string> kHosts = {{"3com.example", "127.0.0.1"},
                                                              {"slow.example", "127.0.0.7"}};
    if (host == "slow.example")
        std::this_thread::sleep_for(std::chrono::seconds(1));
    auto it = kHosts.find(host);
    return it != kHosts.end() && ::inet_aton(it->second.c_str(), address) != 0;
}

class TestSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settings.OpenBaseKey(nullptr));
        ASSERT_TRUE(m_settings.SetInt("Settings", "Timeout", 1));
        m_ok = std::make_unique<CLoopbackServer>("127.0.0.1", 0,
                                                 CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
        m_session = std::make_unique<CTestSession>(m_host, m_settings, nullptr, FakeResolve);
        m_session->SetPorts(Port(), Port());
    }

    int Port() const { return m_ok->Port(); }
    std::unique_ptr<CLoopbackServer> Serve(const char* address, CLoopbackServer::SScript script) {
        return std::make_unique<CLoopbackServer>(address, Port(), std::move(script));
    }
    bool RunToEnd(int ms = 30000) {
        QSignalSpy finished(m_session.get(), &CTestSession::TestFinished);
        return finished.wait(ms);
    }

    CTempDir m_dir;
    CSettingsStore m_settings;
    CRecordingHost m_host;
    std::unique_ptr<CLoopbackServer> m_ok;
    std::unique_ptr<CTestSession> m_session;
};

TEST_F(TestSessionTest, HostileServersEndInExactlyTheListedRows) {
    auto notFound = Serve("127.0.0.2", CLoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    auto unknown = Serve("127.0.0.4", CLoopbackServer::Reply("\n\nHTTP/1.0 405 Nope\r\n"));
    auto closes = Serve("127.0.0.6", CLoopbackServer::CloseAtOnce());
    auto greets = Serve("127.0.0.8", CLoopbackServer::Greeting("220 ready")); // no line end
    CLoopbackServer::SScript split{
        true, {{0, "HTTP/1.0 40"}, {300, "4 Not Found\r\n"}}, false, false};
    auto splits = Serve("127.0.0.13", split);
    CLoopbackServer::SScript endless{true, {{0, "HTTP/1.0 503 Busy\r\n"}}, true, false};
    auto floods = Serve("127.0.0.14", endless);
    auto crawls = Serve("127.0.0.16", CLoopbackServer::Trickle("HTTP/1.0 404 Not Found\r\n", 400));

    const std::string page = m_dir / "a.htm";
    WriteFile(page,
              R"(<a href="http://127.0.0.1/ok">Ok</a><a href="http://127.0.0.2:8080/missing#frag">
Missing</a><a href="http://127.0.0.4/q?x=1">Unknown</a><a href="http://127.0.0.5/">Refused</a>
<a href="http://nowhere.example/">Nowhere</a><a href="http://127.0.0.6/">Closes</a>
<a href="ftp://127.0.0.8/pub">Files</a><a href="http://127.0.0.13/">Split</a>
<a href="http://127.0.0.14/">Endless</a><a href="http://127.0.0.16/">Crawl</a>
<a href="http://3com.example/digits">Digits</a>)");
    m_session->StartTest(page, false, false, false);
    ASSERT_TRUE(RunToEnd());

    const std::string unknownText = "--------------> UNKNOWN REASON !!!!!";
    const std::vector<Row> expected = {
        {"http://127.0.0.2:8080/missing#frag", "HTTP Code 404 Not Found", "Missing", page},
        {"http://127.0.0.4/q?x=1", unknownText, "Unknown", page},
        {"http://127.0.0.5/", "Can't Connect to Host", "Refused", page},
        {"http://nowhere.example/", "Can't Find Named Host", "Nowhere", page},
        {"http://127.0.0.6/", "Host Took Too Long to Respond", "Closes", page},
        {"http://127.0.0.13/", "HTTP Code 404 Not Found", "Split", page},
        {"http://127.0.0.14/", "HTTP Code 503 Service Unavailable", "Endless", page},
        {"http://127.0.0.16/", "Host Took Too Long to Respond", "Crawl", page},
    };
    EXPECT_EQ(m_host.m_rows, expected);

    // The request is exactly one line and the empty line: port and fragment gone.
    EXPECT_EQ(notFound->Requests(), std::vector<std::string>{"GET /missing HTTP/1.0\r\n\r\n"});
    EXPECT_EQ(unknown->Requests(), std::vector<std::string>{"GET /q?x=1 HTTP/1.0\r\n\r\n"});
    EXPECT_EQ(greets->Requests(), std::vector<std::string>{""}); // ftp: nothing is asked
    // A name that begins with a digit is looked up, not taken for an address.
    EXPECT_EQ(m_ok->Requests(), (std::vector<std::string>{"GET /ok HTTP/1.0\r\n\r\n",
                                                          "GET /digits HTTP/1.0\r\n\r\n"}));

    EXPECT_EQ(m_host.LogWithoutDates(),
              "Start of test <date>\r\n\r\nTesting: " + page + "\r\nResults for " + page +
                  ": URLs tested: 11. URL errors: 8.\r\n\r\nEnd of test: <date>\r\n");
    EXPECT_EQ(m_host.m_beeps,
              (std::vector<ISessionHost::EBeepKind>{ISessionHost::EBeepKind::Warning,
                                                   ISessionHost::EBeepKind::Default}));
    EXPECT_TRUE(m_session->HasUnknownReason());
    EXPECT_EQ(m_host.m_waitCursorDepth, 0);
    EXPECT_TRUE(m_host.m_messages.empty());
    EXPECT_TRUE(m_session->IsTestEnded());

    // The next test starts with both flags cleared.
    m_session->StartTest(page, false, false, false);
    EXPECT_FALSE(m_session->IsTestEnded());
    EXPECT_FALSE(m_session->HasUnknownReason());
    m_session->OnStopTest();
}

TEST_F(TestSessionTest, StatusPanesFollowEachKindOfProbe) {
    auto closes = Serve("127.0.0.6", CLoopbackServer::CloseAtOnce());
    auto greets = Serve("127.0.0.8", CLoopbackServer::Greeting("220 ready\r\n"));
    WriteFile(m_dir / "a.htm", "<a href=\"http://127.0.0.1/\">Ok</a>"
                               "<a href=\"http://127.0.0.5/\">Refused</a>"
                               "<a href=\"http://127.0.0.6/\">Closes</a>"
                               "<a href=\"ftp://127.0.0.8/\">Greets</a>");
    m_session->StartTest(m_dir / "a.htm", false, false, false);
    ASSERT_TRUE(RunToEnd());
    const std::vector<std::string> panes = {
        // A reply.
        "1:Connecting to 127.0.0.1", "2:", "1:Connected to 127.0.0.1", "2:GET method sent to host",
        "2:Host Reply Received", "1:No connection",
        // A refused connection.
        "1:Connecting to 127.0.0.5", "2:", "1:Connected to 127.0.0.5", "1:No connection",
        // A host that closes without a word: the time-out ends the link, silently.
        "1:Connecting to 127.0.0.6", "2:", "1:Connected to 127.0.0.6", "2:GET method sent to host",
        "1:No connection", "1:Connection Closed by Host",
        // An ftp server's greeting: nothing is asked, the first bytes end it.
        "1:Connecting to 127.0.0.8", "2:", "1:Connected to 127.0.0.8",
        "2:", "2:Host Reply Received", "1:No connection",
        // The end of the test.
        "1:Connection Status", "2:HTTP Method Status", "1:Search Complete", "2:"};
    EXPECT_EQ(m_host.m_paneHistory, panes);
    EXPECT_EQ(m_host.m_rows.size(), 2u);
}

TEST_F(TestSessionTest, TheTimeOutNeverFiresEarly) {
    // A coarse timer may fire 5 % early: a reply at 95 % of the time-out must
    // finish its link, and a silent host gets the whole time-out, as it stands
    // when its link starts.
    CLoopbackServer::SScript late{true, {{950, "HTTP/1.0 404 Not Found\r\n"}}, false, false};
    auto slow = Serve("127.0.0.9", late);
    auto silent = Serve("127.0.0.7", CLoopbackServer::Silent());
    std::string html;
    for (int i = 0; i < 3; ++i)
        html += "<a href=\"http://127.0.0.9/\">Late</a><a href=\"http://127.0.0.7/\">Silent</a>";
    WriteFile(m_dir / "a.htm", html);
    QElapsedTimer clock;
    std::vector<qint64> started, finished;
    m_host.m_onProgress = [&](const SProgressValues& values) {
        if (values.urlIndex == "6" && m_host.m_progress.urlIndex != "6")
            m_session->Reasons().SetTimeoutSeconds(2); // for links started from now on
        if (values.urlIndex != m_host.m_progress.urlIndex)
            started.push_back(clock.elapsed());
        if (values.urlBarPos != m_host.m_progress.urlBarPos)
            finished.push_back(clock.elapsed());
    };
    clock.start();
    m_session->StartTest(m_dir / "a.htm", false, false, false);
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(m_host.m_rows.size(), 6u);
    ASSERT_EQ(started.size(), 6u);
    ASSERT_EQ(finished.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const bool bSilent = i % 2 == 1;
        EXPECT_EQ(m_host.m_rows[i].reason,
                  bSilent ? "Host Took Too Long to Respond" : "HTTP Code 404 Not Found");
        if (bSilent) {
            EXPECT_GE(finished[i] - started[i], i == 5 ? 1998 : 998) << i;
        }
    }
}

TEST_F(TestSessionTest, TheActivityIndicatorFillsOnTheTenthTickAndEmptiesOnTheTwentieth) {
    auto silent = Serve("127.0.0.7", CLoopbackServer::Silent());
    m_session->Reasons().SetTimeoutSeconds(30);
    WriteFile(m_dir / "a.htm", "<a href=\"http://127.0.0.7/\">Silent</a>");
    QElapsedTimer clock;
    clock.start();
    m_session->StartTest(m_dir / "a.htm", false, false, false);
    EXPECT_EQ(m_host.m_activity, std::vector<int>{0}); // made empty by the first test
    ASSERT_TRUE(RunUntil([&] { return m_host.m_activity.size() == 2; }));
    EXPECT_GE(clock.elapsed(), 1000); // ticks come every 100 ms, never early
    EXPECT_EQ(m_host.m_activity.back(), 1);
    ASSERT_TRUE(RunUntil([&] { return m_host.m_activity.size() == 3; }));
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_EQ(m_host.m_activity.back(), 0);
    m_session->OnStopTest();
}

TEST_F(TestSessionTest, AFolderRunsFileByFileWithItsLogAndProgress) {
    auto notFound = Serve("127.0.0.2", CLoopbackServer::Reply("HTTP/1.0 404 Not Found\r\n"));
    const std::string folder = m_dir / "site";
    WriteFile(folder + "/one.htm", "<A HREF=\"http://127.0.0.2/gone\">Gone</A>");
    WriteFile(folder + "/two.htm", "<p>no links</p>");
    const StringList files = CFileEnumerator::CollectFiles(folder, false, true, false);
    ASSERT_EQ(files.size(), 2u);

    m_session->StartTest(folder + "/", false, true, false);
    EXPECT_EQ(m_host.m_progress.fileBarMax, 2);
    ASSERT_TRUE(RunToEnd());
    std::string log = "Start of test <date>\r\n\r\n";
    for (const std::string& file : files)
        log += "Testing: " + file + "\r\nResults for " + file +
               (file == folder + "/one.htm" ? ": URLs tested: 1. URL errors: 1.\r\n\r\n"
                                            : ": URLs tested: 0. URL errors: 0.\r\n\r\n");
    EXPECT_EQ(m_host.LogWithoutDates(), log + "End of test: <date>\r\n");
    EXPECT_EQ(m_host.m_rows, (std::vector<Row>{{"http://127.0.0.2/gone", "HTTP Code 404 Not Found",
                                                "Gone", folder + "/one.htm"}}));
    // The first file does not step the file bar, the second does once.
    EXPECT_EQ(m_host.m_progress.fileBarPos, 1);
    EXPECT_EQ(m_host.m_progress.fileIndex, "2");
    EXPECT_EQ(m_host.m_progressClosed, 1);
    EXPECT_EQ(m_host.m_beeps, std::vector<ISessionHost::EBeepKind>{ISessionHost::EBeepKind::Default});
}

TEST_F(TestSessionTest, StopTestEndsTheLinkInFlightWithoutARow) {
    auto silent = Serve("127.0.0.7", CLoopbackServer::Silent());
    m_session->Reasons().SetTimeoutSeconds(30);
    auto stopAndCheck = [&] {
        m_session->OnStopTest();
        EXPECT_EQ(m_host.LogWithoutDates(),
                  "Start of test <date>\r\n\r\nTesting: " + m_dir / "a.htm" +
                      "\r\nTesting Stopped by User\r\n");
        EXPECT_EQ(m_host.m_pane1, "Connection Status");
        EXPECT_EQ(m_host.m_pane2, "HTTP Method Status");
        EXPECT_EQ(m_host.m_waitCursorDepth, 0);
        const std::string log = m_host.m_log; // and nothing happens afterwards
        RunUntil([] { return false; }, 1300);
        EXPECT_EQ(m_host.m_log, log);
        EXPECT_TRUE(m_host.m_rows.empty());
    };

    // While the name is still being looked up: the event loop keeps turning.
    WriteFile(m_dir / "a.htm", "<a href=\"http://slow.example/\">Slow</a>");
    m_session->StartTest(m_dir / "a.htm", false, false, false);
    ASSERT_TRUE(RunUntil([&] { return m_host.m_waitCursorDepth == 1; }));
    stopAndCheck();
    EXPECT_TRUE(silent->Requests().empty());

    // While waiting for the reply: the host sees the connection close.
    WriteFile(m_dir / "a.htm", "<a href=\"http://127.0.0.7/\">Silent</a>");
    m_session->StartTest(m_dir / "a.htm", false, false, false);
    ASSERT_TRUE(RunUntil([&] { return silent->Requests().size() == 1; }));
    stopAndCheck();
    EXPECT_TRUE(RunUntil([&] { return silent->Closed() == 1; }));
}

TEST_F(TestSessionTest, NoFilesOrAnUnreadableFileStopTheTestWithAMessage) {
    MakeDir(m_dir / "empty");
    m_host.m_log = "kept";
    m_session->StartTest(m_dir / "empty", false, true, true);
    EXPECT_EQ(m_host.m_messages, std::vector<std::string>{LogText::kNoFilesMessage});
    EXPECT_EQ(m_host.m_log, "kept");
    EXPECT_FALSE(m_session->IsTestRunning());
    EXPECT_EQ(m_host.m_progressShown, 0);

    m_host.m_messages.clear();
    WriteFile(m_dir / "gone.htm", "x");
    m_session->StartTest(m_dir / "gone.htm", false, false, false);
    ::unlink((m_dir / "gone.htm").c_str());
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(m_host.m_messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + m_dir / "gone.htm",
                                        "Processing has stopped"}));
    EXPECT_EQ(m_host.LogWithoutDates(), "Start of test <date>\r\n\r\nResults for " +
                                            m_dir / "gone.htm" +
                                            ": URLs tested: 0. URL errors: 0.\r\n\r\n"
                                            "End of test: <date>\r\n");
    EXPECT_TRUE(m_session->StoppedOnError());
}

TEST(LongDateTimeTest, TheTimeHasSecondsAndNoTimeZoneField) {
    // Some locales write the zone in brackets ("H:mm:ss (t)"): no "()" may stay.
    const QDateTime when(QDate(2026, 3, 5), QTime(14, 7, 9));
    for (const char* name : {"en_US", "de_DE", "es_ES", "ca_ES", "eu_ES", "fa_IR"}) {
        const QLocale locale(QString::fromLatin1(name));
        const QString text = QString::fromStdString(LogText::LongDateTime(locale, when));
        const QString date = locale.toString(when.date(), QLocale::LongFormat) + QLatin1Char(' ');
        ASSERT_TRUE(text.startsWith(date)) << name;
        const QString time = text.mid(date.size());
        EXPECT_EQ(time, time.trimmed()) << name;
        EXPECT_FALSE(time.contains(QLatin1Char('(')) || time.contains(QLatin1Char('[')))
            << name << ": " << time.toStdString();
        EXPECT_TRUE(time.contains(locale.toString(7).rightJustified(2, locale.zeroDigit().at(0))))
            << name << ": " << time.toStdString();
    }
}

} // namespace
