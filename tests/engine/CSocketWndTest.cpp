// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CSocketWnd.h"

#include "engine/CLookupPool.h"
#include "support/CLoopbackServer.h"
#include "support/TestUtil.h"

#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

// The outcome code of one connection attempt, its name looked up on `lookups`.
unsigned ConnectCode(const std::string& host, const std::string& port,
                     CLookupPool&& lookups = CLookupPool()) {
    CSocketWnd socket(lookups);
    QSignalSpy finished(&socket, &CSocketWnd::ConnectFinished);
    socket.Connect(host, port);
    EXPECT_EQ(finished.count(), 0); // never reported from inside Connect()
    return finished.wait(10000) ? finished.at(0).at(0).toUInt() : 99999u;
}

TEST(SocketWndTest, ConnectOutcomes) {
    CLoopbackServer server("127.0.0.1", 0, CLoopbackServer::Silent());
    const std::string port = std::to_string(server.Port());
    EXPECT_EQ(ConnectCode("127.0.0.1", port), 0u);
    EXPECT_EQ(ConnectCode("   127.0.0.1", port), 0u); // leading blanks are skipped
    EXPECT_EQ(ConnectCode("localhost", port), 0u);    // the system's own look-up
    EXPECT_EQ(ConnectCode("   ", port), 10001u);
    EXPECT_EQ(ConnectCode("", port), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.1", "0"), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.1", "http"), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.1", "70000"), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.2", port), 10004u); // nobody listens there

    auto none = [](const std::string&, in_addr*) { return false; };
    EXPECT_EQ(ConnectCode("nowhere.example", port, CLookupPool(none)), 10002u);
    EXPECT_EQ(ConnectCode("1.2.3.4.5", port, CLookupPool(none)), 10002u); // looked up by name
}

TEST(SocketWndTest, LookUpsRunOnABoundedPoolThatMayFailToStart) {
    // No thread can be started: the name counts as not found, and nothing ends.
    EXPECT_EQ(ConnectCode("localhost", "80",
                          CLookupPool({}, 4, [](std::function<void()>) { return false; })),
              10002u);

    // Many look-ups at once share two threads, and every one is answered.
    std::atomic<int> running{0}, most{0}, answered{0};
    {
        CLookupPool pool(
            [&](const std::string&, in_addr*) {
                most = std::max(most.load(), ++running);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                --running;
                return true;
            },
            2);
        for (int i = 0; i < 12; ++i)
            ASSERT_TRUE(pool.Submit([&](const CLookupPool::Resolver& resolve) {
                answered += resolve("h", nullptr) ? 1 : 0;
            }));
        EXPECT_TRUE(QTest::qWaitFor([&] { return answered == 12; }));
    }
    EXPECT_LE(most.load(), 2);
}

} // namespace
