// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CTestSession.h"

#include "engine/LogText.h"
#include "support/SessionTest.h"

#include <QElapsedTimer>

namespace {

using TestSessionTest = SessionTest; // of the paced session

TEST_F(TestSessionTest, StatusPanesFollowEachKindOfProbe) {
    Server ok("127.0.0.1", 0, Server::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    Server closes("127.0.0.6", ok.Port(), Server::CloseAtOnce());
    Server greets("127.0.0.8", ok.Port(), Server::Greeting("220 ready\r\n"));
    m_pSession = Make(EKind::Paced, m_host, ok.Port());
    WriteFile(m_dir / "a.htm", Links({"http://127.0.0.1/", "http://127.0.0.5/", "http://127.0.0.6/",
                                      "ftp://127.0.0.8/"}));
    m_pSession->StartTest(m_dir / "a.htm", false, false, false);
    ASSERT_TRUE(RunToEnd(*m_pSession));
    const Texts panes = {
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
    EXPECT_EQ(m_host.m_panes, panes);
}

TEST_F(TestSessionTest, TheTimeOutNeverFiresEarly) {
    // A coarse timer may fire 5 % early: a reply at 95 % of the time-out must
    // finish its link, and a silent host gets the whole time-out, as it stands
    // when its link starts.
    Server slow("127.0.0.9", 0, {true, {{950, "HTTP/1.0 404 Not Found\r\n"}}, false, false});
    Server silent("127.0.0.7", slow.Port(), Server::Silent());
    m_pSession = Make(EKind::Paced, m_host, slow.Port());
    std::string html;
    for (int i = 0; i < 3; ++i)
        html += Links({"http://127.0.0.9/", "http://127.0.0.7/"});
    WriteFile(m_dir / "a.htm", html);
    QElapsedTimer clock;
    std::vector<qint64> started, finished;
    m_host.m_onProgress = [&](const SProgressValues& values) {
        if (values.urlIndex == "6" && m_host.m_progress.urlIndex != "6")
            m_pSession->Reasons().SetTimeoutSeconds(2); // for links started from now on
        if (values.urlIndex != m_host.m_progress.urlIndex)
            started.push_back(clock.elapsed());
        if (values.urlBarPos != m_host.m_progress.urlBarPos)
            finished.push_back(clock.elapsed());
    };
    clock.start();
    m_pSession->StartTest(m_dir / "a.htm", false, false, false);
    ASSERT_TRUE(RunToEnd(*m_pSession));
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
    Server silent("127.0.0.7", 0, Server::Silent());
    m_pSession = Make(EKind::Paced, m_host, silent.Port());
    m_pSession->Reasons().SetTimeoutSeconds(30);
    WriteFile(m_dir / "a.htm", Links({"http://127.0.0.7/"}));
    QElapsedTimer clock;
    clock.start();
    m_pSession->StartTest(m_dir / "a.htm", false, false, false);
    EXPECT_EQ(m_host.m_activity, std::vector<int>{0}); // made empty by the first test
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_host.m_activity.size() == 2; }));
    EXPECT_GE(clock.elapsed(), 1000); // ticks come every 100 ms, never early
    EXPECT_EQ(m_host.m_activity.back(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_host.m_activity.size() == 3; }));
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_EQ(m_host.m_activity.back(), 0);
    m_pSession->OnStopTest();
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
